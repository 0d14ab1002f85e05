// Dresses the harvest's own pages in the Source Code and Images views; runs in
// the application's world, so the pages themselves stay without script. The
// files are not touched: only how the view shows them changes.
(function () {
    'use strict';
    var kind = QUARROW_KIND; // "source" or "images"
    if (location.href !== QUARROW_PAGE)
        return;
    var style = document.createElement('style');
    if (kind === 'source') {
        // Each line of the page text ends in two <BR>s: one is enough. The text
        // keeps its indentation and wraps where it must.
        style.textContent =
            'body{font-family:"DejaVu Sans Mono","Liberation Mono",monospace;font-size:13px;' +
            'white-space:pre-wrap;overflow-wrap:anywhere;margin:8px;line-height:1.35}' +
            'body>br:nth-of-type(even){display:none}';
    } else {
        style.textContent =
            'img{max-width:100%;height:auto}' +
            'body{font-family:"DejaVu Sans",sans-serif;font-size:13px;margin:8px;' +
            'overflow-wrap:anywhere}' +
            '#quarrow-empty{color:#555;font-size:16px;margin:24px 8px}';
    }
    (document.head || document.documentElement).appendChild(style);
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
