// Says in a Source Code or Images view that the Browser tab's new page could
// not be opened: the view keeps the page it showed, with this line on top.
(function (text, style) {
    'use strict';
    var updating = document.getElementById('quarrow-updating');
    if (updating)
        updating.remove();
    if (!document.body)
        return;
    document.body.style.opacity = '';
    var line = document.getElementById('quarrow-failed');
    if (!line) {
        line = document.createElement('div');
        line.id = 'quarrow-failed';
        line.setAttribute('style', style);
        document.body.insertBefore(line, document.body.firstChild);
    }
    line.textContent = text;
})
