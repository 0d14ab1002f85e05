// Dresses the harvest's own pages in the Source Code and Images views; runs in
// the application's world, so the pages themselves stay without script. The
// files are not touched: only how the view shows them changes.
(function () {
    'use strict';
    var kind = QUARROW_KIND; // "source" or "images"
    if (location.href !== QUARROW_PAGE)
        return;
    // Splits the body's top-level content into blocks of whole lines, cut after
    // every `breaksPerPiece`-th top-level <BR>. A piece out of sight is not laid
    // out, so a page of any size shows as fast as its first screen.
    function splitIntoPieces(breaksPerPiece) {
        var body = document.body;
        if (!body)
            return;
        var breaks = body.querySelectorAll(':scope > br');
        if (breaks.length <= breaksPerPiece)
            return;
        var range = document.createRange();
        var last = null;
        var wrap = function (end) {
            var first = last ? last.nextSibling : body.firstChild;
            if (!first)
                return;
            range.setStartBefore(first);
            range.setEndAfter(end);
            var piece = document.createElement('div');
            piece.className = 'quarrow-piece';
            range.surroundContents(piece);
            last = piece;
        };
        for (var i = breaksPerPiece - 1; i < breaks.length; i += breaksPerPiece)
            wrap(breaks[i]);
        if (body.lastChild && body.lastChild !== last)
            wrap(body.lastChild);
    }

    var style = document.createElement('style');
    if (kind === 'source') {
        // Each line of the page text ends in two <BR>s: one is enough. The text
        // keeps its indentation and wraps where it must.
        style.textContent =
            'body{font-family:"DejaVu Sans Mono","Liberation Mono",monospace;font-size:13px;' +
            'white-space:pre-wrap;overflow-wrap:anywhere;margin:8px;line-height:1.35}' +
            'body>br:nth-of-type(even),.quarrow-piece>br:nth-of-type(even){display:none}' +
            '.quarrow-piece{content-visibility:auto;contain-intrinsic-size:auto 3500px}';
    } else {
        style.textContent =
            'img{max-width:100%;height:auto}' +
            'body{font-family:"DejaVu Sans",sans-serif;font-size:13px;margin:8px;' +
            'overflow-wrap:anywhere}' +
            '#quarrow-empty{color:#555;font-size:16px;margin:24px 8px}' +
            '.quarrow-piece{content-visibility:auto;contain-intrinsic-size:auto 2500px}';
    }
    (document.head || document.documentElement).appendChild(style);
    try {
        // The Source Code page ends each line in two <BR>s, of which the second
        // is hidden: a piece holds whole pairs. Each picture of the Images page
        // is followed by four.
        splitIntoPieces(kind === 'source' ? 400 : 100);
    } finally {
        if (window.quarrowReveal)
            window.quarrowReveal();
    }
    if (kind === 'images' && document.images.length === 0 && document.body) {
        var empty = document.createElement('p');
        empty.id = 'quarrow-empty';
        empty.textContent = 'No pictures on this page';
        document.body.appendChild(empty);
    }
    // Every new page opens at its top, whatever the last one's scroll was.
    if ('scrollRestoration' in history)
        history.scrollRestoration = 'manual';
    window.scrollTo(0, 0);
})();
