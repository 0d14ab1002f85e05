// Keeps a harvest page in the Source Code or Images view unrendered while the
// engine reads it: laying a huge page out as it arrives costs the view far more
// than reading it. The dress shows the page again once it has split it into
// pieces that are laid out only when they come into sight. Runs in the
// application's world before the page's first byte is read.
(function () {
    'use strict';
    if (location.href !== QUARROW_PAGE || !window.CSSStyleSheet)
        return;
    var sheet = new CSSStyleSheet();
    sheet.replaceSync('body{display:none!important}');
    document.adoptedStyleSheets = document.adoptedStyleSheets.concat([sheet]);
    var shown = false;
    window.quarrowReveal = function () {
        if (shown)
            return;
        shown = true;
        document.adoptedStyleSheets = document.adoptedStyleSheets.filter(function (s) {
            return s !== sheet;
        });
    };
    // Should the dress never run (the load was stopped midway), the page shows
    // as it is once the engine is done with it.
    document.addEventListener('readystatechange', function () {
        if (document.readyState === 'complete')
            window.quarrowReveal();
    });
})();
