// Marks a line of the Source Code view's page and scrolls it into the middle of
// the view; answers whether the page has that line. The page's lines are the
// children of its blocks, in order; a block the engine has not laid out yet has
// only its estimated height, so the line's block and those beside it are laid
// out first, and the line stays where it is put once they come into sight.
(function (line) {
    'use strict';
    for (const old of document.querySelectorAll('.b>div.m'))
        old.classList.remove('m');
    const blocks = document.querySelectorAll('body>.b');
    let first = 0;
    for (let i = 0; i < blocks.length; ++i) {
        const lines = blocks[i].childElementCount;
        if (line > first + lines) {
            first += lines;
            continue;
        }
        const target = blocks[i].children[line - 1 - first];
        if (!target)
            return false;
        for (let j = Math.max(0, i - 1); j <= Math.min(blocks.length - 1, i + 1); ++j)
            blocks[j].style.contentVisibility = 'visible';
        target.classList.add('m');
        target.scrollIntoView({block: 'center', inline: 'nearest', behavior: 'instant'});
        // Lines start at the left, whatever a long one scrolled to.
        window.scrollTo({left: 0, top: window.scrollY, behavior: 'instant'});
        return true;
    }
    return false;
})
