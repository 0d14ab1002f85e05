// Marks a Source Code or Images view as out of date while the live view loads
// a new page; the view's next page replaces it.
(function () {
    'use strict';
    if (document.getElementById('quarrow-updating') || !document.body)
        return;
    var note = document.createElement('div');
    note.id = 'quarrow-updating';
    note.textContent = 'Being updated for the new page\u2026';
    note.setAttribute('style',
        'position:fixed;top:0;left:0;right:0;z-index:2147483647;padding:6px 10px;' +
        'background:#fff4c2;color:#222;border-bottom:1px solid #d9b800;' +
        'font:13px "DejaVu Sans",sans-serif;white-space:normal');
    // The note hangs off the root, so that it stays clear while the old
    // page behind it fades.
    document.documentElement.appendChild(note);
    document.body.style.opacity = '0.55';
})();
