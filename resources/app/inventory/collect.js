// The page inventory collector. Runs in an isolated JavaScript world of its own,
// so the page's scripts can neither see it nor change the built-ins it uses,
// and it works with the page's own scripts turned off. It walks the document
// once, in document order, with its open shadow trees, its same-origin frames
// and the SVG documents of its same-origin objects and embeds where they stand,
// and answers one JSON text that PageInventory reads (with the number of frames
// of other origins it could not enter).
//
// With `list` set it answers only the pictures' addresses and kinds, as lines of
// "address<TAB>kinds" with tab, CR, LF, NUL and backslash written as \t, \r, \n,
// \0 and \\: no box is measured and nothing else of the page is read.
//
// With `markupOnly` set it reads a document that nothing but its own markup made
// (a page read with scripts off, with nothing fetched): as its JSON text, with
// no style computed and no box measured. The pictures of its style sheets come
// from their rules and its style attributes, as nothing else applies there.
//
// Every step is linear in the size of the document: each element, attribute
// and rule is read a bounded number of times, and whatever is kept of one
// (an element's description, its alt text, a link's text) is bounded too.
(function (list, markupOnly) {
    'use strict';

    const KIND_ORDER = ['img', 'srcset', 'source', 'lazy', 'css', 'icon', 'meta', 'poster',
                        'input', 'svg', 'object', 'link'];
    const LAZY_ATTRIBUTES = new Set([
        'data-src', 'data-original', 'data-original-src', 'data-lazy-src', 'data-lazy',
        'data-lazyload', 'data-bg', 'data-bg-src', 'data-background', 'data-background-image',
        'data-echo', 'data-hi-res-src', 'data-full-src', 'data-large-src', 'data-zoom-image',
        'data-image', 'data-img', 'data-poster', 'data-thumb']);
    const LAZY_SRCSET_ATTRIBUTES = new Set(['data-srcset', 'data-lazy-srcset', 'data-original-set']);
    // Elements whose lazy sources are no pictures: frames, sounds, scripts.
    const LAZY_NONE = new Set(['iframe', 'frame', 'audio', 'script', 'embed', 'object', 'track',
                               'link']);
    // Values that lazy-loading libraries put in these attributes that name no picture.
    const LAZY_FLAGS = /^(true|false|yes|no|on|off|[01]|lazy|eager|auto|none)$/i;
    const META_NAMES = new Set(['og:image', 'og:image:url', 'og:image:secure_url', 'twitter:image',
                                'twitter:image:src', 'msapplication-tileimage']);
    const PICTURE_FILE = /\.(bmp|gif|jpe?g|png|webp|svg|avif|ico|tiff?|apng|jxl)$/i;
    const CSS_PROPERTIES = ['background-image', 'border-image-source', 'list-style-image', 'content'];
    const PSEUDO_RULE = /::?(before|after)\b/i;
    const STATE_PSEUDO = /::?(before|after|hover|focus|focus-within|focus-visible|active|visited|target)\b/gi;
    const XLINK = 'http://www.w3.org/1999/xlink';
    // The longest alt text kept: one element's text is copied into every entry it names.
    const MAX_TEXT = 1000;
    // A link's text is read from at most this many nodes and characters.
    const LINK_TEXT_NODES = 1000;
    const LINK_TEXT_CHARACTERS = 8192;
    // More selectors of ::before and ::after than this: every element is asked.
    const MAX_PSEUDO_SELECTORS = 64;

    const KIND_BIT = new Map(KIND_ORDER.map((kind, i) => [kind, 1 << i]));
    const entries = new Map();  // address -> entry, in order of first use
    const order = [];

    function allowed(address)
    {
        const lower = address.slice(0, 12).toLowerCase();
        return lower.startsWith('http:') || lower.startsWith('https:') || lower.startsWith('file:') ||
               lower.startsWith('data:image/') || lower.startsWith('blob:');
    }

    // The document being walked when its character set is not a Unicode one: its
    // base address and an unattached link of it. An address written with other
    // than ASCII in it resolves through the link, as the engine resolves the
    // page's own (the query in the page's character set: ?q=%E9 on a windows-1252
    // page), which new URL() cannot do.
    let anchorFor = null;

    // False while a frame's (or an object's) document is walked: what is first
    // found there is marked, and no place in it is measured against the first
    // screen of the page.
    let atTop = true;

    function resolve(raw, base)
    {
        if (typeof raw !== 'string')
            return null;
        const text = raw.trim();
        if (!text)
            return null;
        let address;
        try {
            if (anchorFor && base === anchorFor.base && /[^\x00-\x7f]/.test(text)) {
                anchorFor.anchor.setAttribute('href', text);
                address = new URL(anchorFor.anchor.href).href;
            } else {
                address = new URL(text, base).href;
            }
        } catch (e) {
            return null;
        }
        return allowed(address) ? address : null;
    }

    // "img#logo.header.main": at most three class names and 120 characters,
    // however long the element's id and class are.
    function describe(el)
    {
        let text = el.localName || '';
        const id = el.id;
        if (id)
            text += '#' + id.slice(0, 120);
        const cls = typeof el.className === 'string' ? el.className
                                                     : el.getAttribute('class') || '';
        const names = /\S+/g;
        for (let count = 0; count < 3 && text.length < 120; ++count) {
            const m = names.exec(cls);
            if (!m)
                break;
            text += '.' + m[0].slice(0, 120);
        }
        return text.length > 120 ? text.slice(0, 120) : text;
    }

    // Trimmed, at most MAX_TEXT characters, reading no more of `value` than that
    // and its leading spaces.
    function boundedTrim(value)
    {
        if (!value)
            return '';
        const start = value.search(/\S/);
        if (start < 0)
            return '';
        return value.slice(start, start + MAX_TEXT).trimEnd();
    }

    function textOf(el)
    {
        if (!el || !el.getAttribute)
            return '';
        const alt = boundedTrim(el.getAttribute('alt'));
        return alt || boundedTrim(el.getAttribute('title'));
    }

    // What is told of the element last asked about: one element names many
    // pictures (a srcset of thousands of candidates), and is read once.
    let placeOf = null, placeText = '', altOf = null, altText = '';
    function placeFor(el, pseudo)
    {
        if (el !== placeOf) {
            placeOf = el;
            placeText = describe(el);
        }
        return pseudo ? placeText + pseudo : placeText;
    }
    function altFor(el)
    {
        if (el !== altOf) {
            altOf = el;
            altText = textOf(el);
        }
        return altText;
    }

    // One use of `address` by `kind` at `where` (an element, or a text for rules).
    function use(address, kind, where, pseudo, type)
    {
        let entry = entries.get(address);
        if (!entry) {
            entry = list ? {address: address, kinds: 0}
                         : {address: address, kinds: 0, uses: 0, alt: '',
                            element: typeof where === 'string' ? where
                                     : markupOnly ? '' : placeFor(where, pseudo),
                            natural: null, displayed: null, area: 0, type: '', bytes: -1,
                            failed: false, variants: null, variantSet: null};
            entries.set(address, entry);
            order.push(entry);
            if (!list && !atTop)
                entry.frame = true;
        }
        entry.kinds |= KIND_BIT.get(kind);
        if (list)
            return entry;
        entry.uses += 1;
        if (typeof where === 'string')
            entry.rule = true;
        if (!entry.alt && typeof where !== 'string' && !markupOnly)
            entry.alt = altFor(where);
        if (type && !entry.type && /^image\//i.test(type))
            entry.type = type.toLowerCase();
        return entry;
    }

    // The box last measured, so that an img is measured once.
    let measured = null, measuredRect = null;

    function shows(entry, el)
    {
        if (list || markupOnly)
            return;
        const rect = el.getBoundingClientRect();
        measured = el;
        measuredRect = rect;
        const w = Math.round(rect.width), h = Math.round(rect.height);
        if (w * h > entry.area || (!entry.displayed && w + h > 0)) {
            entry.area = w * h;
            entry.displayed = [w, h];
        }
    }

    // The first screen of the top document, in its own coordinates; null when
    // it has no size (a page nobody shows).
    let firstScreen = null;

    // What an img (or an input of type image) tells of the pictures it uses:
    // whether it has an alt attribute, a width and a height, whether it loads
    // lazily, whether it has loaded, and where its box stands against the
    // first screen. `targets` are the entries it uses.
    function imageFacts(targets, el, view)
    {
        if (list || markupOnly)
            return;
        const img = el.localName === 'img';
        const noAlt = !el.hasAttribute('alt');
        let sized = !img || (el.hasAttribute('width') && el.hasAttribute('height'));
        if (!sized && el.style && el.style.width && el.style.height)
            sized = true;
        const lazy = img && (el.getAttribute('loading') || '').trim().toLowerCase() === 'lazy';
        // A script loads it when it comes into sight (its lazy attributes), or
        // nothing is fetched for it (a data: address): never eager.
        let deferred = !img || /^data:/i.test(el.getAttribute('src') || '');
        if (!deferred) {
            const names = el.getAttributeNames();
            for (let a = 0; a < names.length && !deferred; ++a)
                deferred = LAZY_ATTRIBUTES.has(names[a]) || LAZY_SRCSET_ATTRIBUTES.has(names[a]);
        }
        const loaded = img && el.complete && el.naturalWidth > 0;
        let inFirst = null;
        if (atTop && firstScreen && img) {
            const rect = measured === el ? measuredRect : el.getBoundingClientRect();
            if (rect.width > 0 && rect.height > 0) {
                const left = rect.left + view.scrollX, top = rect.top + view.scrollY;
                inFirst = left < firstScreen[0] && top < firstScreen[1] &&
                          left + rect.width > 0 && top + rect.height > 0;
            }
        }
        for (const e of targets) {
            if (!e)
                continue;
            if (noAlt)
                e.noAlt = true;
            if (!sized)
                e.noSize = true;
            if (loaded)
                e.loaded = true;
            if (lazy) {
                e.lazy = true;
                if (!loaded)
                    e.waiting = true;
                if (inFirst === true)
                    e.lazyFirst = true;
            } else if (img) {
                if (inFirst === true)
                    e.eagerFirst = true;
                else if (inFirst === false && !deferred)
                    e.eagerOff = true;
            }
        }
    }

    // The img's own source, when a lazy attribute of it names another
    // picture: a placeholder that a script swaps for that picture.
    function placeholderOf(el, address, base)
    {
        if (list || el.localName !== 'img')
            return;
        const src = resolve(el.getAttribute('src'), base);
        if (!src || src === address)
            return;
        const placeholder = entries.get(src);
        if (!placeholder)
            return;
        placeholder.placeholder = true;
        if (!placeholder.stands)
            placeholder.stands = new Set();
        if (placeholder.stands.size < 64)
            placeholder.stands.add(address);
    }

    // The candidates of a srcset value: [{url, descriptor}], commas inside
    // addresses kept, as the HTML parser reads them.
    function parseSrcset(value)
    {
        const out = [];
        let i = 0;
        const n = value.length;
        const space = c => c === ' ' || c === '\t' || c === '\n' || c === '\r' || c === '\f';
        while (i < n) {
            while (i < n && (space(value[i]) || value[i] === ','))
                ++i;
            if (i >= n)
                break;
            let start = i;
            while (i < n && !space(value[i]))
                ++i;
            let url = value.slice(start, i);
            let descriptor = '';
            if (url.endsWith(',')) {
                let end = url.length;
                while (end > 0 && url.charCodeAt(end - 1) === 44 /* , */)
                    --end;
                url = url.slice(0, end);
            } else {
                start = i;
                let inParens = false;
                while (i < n) {
                    const c = value[i];
                    if (c === '(')
                        inParens = true;
                    else if (c === ')')
                        inParens = false;
                    else if (c === ',' && !inParens)
                        break;
                    ++i;
                }
                descriptor = value.slice(start, i).trim().replace(/\s+/g, ' ');
                ++i;
            }
            if (url)
                out.push({url: url, descriptor: descriptor});
        }
        return out;
    }

    function codePoint(n)
    {
        return n > 0 && n <= 0x10FFFF ? String.fromCodePoint(n) : '\uFFFD';
    }

    function cssSpace(c)
    {
        return c === 32 || c === 9 || c === 10 || c === 12 || c === 13;
    }

    // Every url() of a CSS value, image-set() candidates included: url("a"),
    // url('a') and url(a), with CSS escapes. One pass: a url( that does not
    // close is skipped, and what was learned looking for its end (no closing
    // quote or parenthesis further on) is kept for the ones after it.
    function cssUrls(value)
    {
        const out = [];
        if (!value || value.indexOf('url(') < 0)
            return out;
        const n = value.length;
        const unclosed = {34: -1, 39: -1};  // quote -> from where none closes
        let unquotedFails = -1;  // a bare url( before here does not close
        let at = value.indexOf('url(');
        while (at >= 0) {
            let i = at + 4;
            while (i < n && cssSpace(value.charCodeAt(i)))
                ++i;
            let raw = null;
            let end = -1;
            const q = value.charCodeAt(i);
            if ((q === 34 || q === 39) && !(unclosed[q] >= 0 && i >= unclosed[q])) {
                let k = i + 1;
                while (k < n) {
                    const c = value.charCodeAt(k);
                    if (c === 92 /* \ */)
                        k += 2;
                    else if (c === q)
                        break;
                    else
                        ++k;
                }
                if (k >= n) {
                    unclosed[q] = i;
                } else {
                    let j = k + 1;
                    while (j < n && cssSpace(value.charCodeAt(j)))
                        ++j;
                    if (value.charCodeAt(j) === 41 /* ) */) {
                        raw = value.slice(i + 1, k);
                        end = j + 1;
                    }
                }
            }
            if (raw === null && !(at < unquotedFails)) {
                let k = i;
                while (k < n && value.charCodeAt(k) !== 41 && !cssSpace(value.charCodeAt(k)))
                    ++k;
                let j = k;
                while (j < n && cssSpace(value.charCodeAt(j)))
                    ++j;
                if (value.charCodeAt(j) === 41) {
                    raw = value.slice(i, k);
                    end = j + 1;
                } else {
                    unquotedFails = j;
                }
            }
            if (raw !== null) {
                out.push(raw.replace(/\\([0-9a-fA-F]{1,6})\s?|\\(.)/g,
                                     (s, hex, c) => hex ? codePoint(parseInt(hex, 16)) : c));
                at = value.indexOf('url(', end);
            } else {
                at = value.indexOf('url(', at + 4);
            }
        }
        return out;
    }

    function addVariant(entry, address, descriptor)
    {
        if (list)
            return;
        const text = descriptor ? address + ' ' + descriptor : address;
        if (!entry.variants) {
            entry.variants = [];
            entry.variantSet = new Set();
        }
        if (!entry.variantSet.has(text)) {
            entry.variantSet.add(text);
            entry.variants.push(text);
        }
    }

    function srcsetUses(value, kind, el, base, type, group)
    {
        for (const candidate of parseSrcset(value)) {
            const address = resolve(candidate.url, base);
            if (address) {
                use(address, kind, el, '', type);
                group.push([address, candidate.descriptor]);
            }
        }
    }

    function styleUses(style, el, pseudo, base, doc)
    {
        for (const property of CSS_PROPERTIES) {
            const value = style.getPropertyValue(property);
            if (!value || value.indexOf('url(') < 0)
                continue;
            for (const raw of cssUrls(value)) {
                const address = resolve(raw, base);
                if (!address)
                    continue;
                const entry = use(address, 'css', el, pseudo, '');
                if (!pseudo && el.getBoundingClientRect && doc.visible)
                    shows(entry, el);
            }
        }
    }

    // The pictures named by the rules of a readable style sheet, nested rules and
    // imported sheets included. Rules for ::before and ::after are remembered so
    // that only the elements they can match have their pseudo-elements read.
    function sheetUses(sheet, doc, seen)
    {
        if (!sheet || seen.has(sheet))
            return;
        seen.add(sheet);
        let rules;
        try {
            rules = sheet.cssRules;
        } catch (e) {
            doc.unreadableSheets = true;
            return;
        }
        if (!rules) {
            doc.unreadableSheets = true;
            return;
        }
        const base = sheet.href || doc.document.baseURI;
        const label = sheet.href ? ('stylesheet ' + sheet.href).slice(0, 160) : 'style';
        walkRules(rules, base, label, doc, seen);
    }

    function walkRules(rules, base, label, doc, seen)
    {
        for (let i = 0; i < rules.length; ++i) {
            const rule = rules[i];
            if (rule.styleSheet !== undefined && rule.href !== undefined) {
                sheetUses(rule.styleSheet, doc, seen);
                continue;
            }
            if (rule.style && rule.type !== 5 /* font-face: fonts, not pictures */) {
                if (rule.style.cssText.indexOf('url(') >= 0) {
                    const where = rule.selectorText
                                      ? label + ' ' + rule.selectorText.slice(0, 160) : label;
                    for (const property of CSS_PROPERTIES) {
                        for (const raw of cssUrls(rule.style.getPropertyValue(property))) {
                            const address = resolve(raw, base);
                            if (address)
                                use(address, 'css', where.slice(0, 160), '', '');
                        }
                    }
                }
            }
            if (rule.cssRules)
                walkRules(rule.cssRules, base, label, doc, seen);
        }
    }

    // The elements whose ::before or ::after may show a picture; null when every
    // element has to be asked (some sheet could not be read, or a selector did
    // not parse once its pseudo-elements and states were taken off).
    function pseudoHosts(doc)
    {
        if (doc.unreadableSheets)
            return null;
        const parts = [];
        for (const selectorText of doc.pseudoSelectors) {
            for (const part of selectorText.split(',')) {
                parts.push(part);
                if (parts.length > MAX_PSEUDO_SELECTORS)
                    return null;
            }
        }
        const hosts = new Set();
        for (let part of parts) {
            part = part.replace(STATE_PSEUDO, '').trim();
            if (!part || /[>+~]$/.test(part))
                part += '*';
            try {
                for (const el of (doc.root || doc.document).querySelectorAll(part))
                    hosts.add(el);
            } catch (e) {
                return null;
            }
        }
        return hosts;
    }

    function linkUses(el, base)
    {
        const address = resolve(el.getAttribute('href'), base);
        if (!address)
            return;
        let picture = address.startsWith('data:image/');
        if (!picture && !address.startsWith('data:')) {
            try {
                picture = PICTURE_FILE.test(new URL(address).pathname);
            } catch (e) {
                picture = false;
            }
        }
        if (picture)
            use(address, 'link', el, '', '');
        return picture;
    }

    // The text of a link, its spaces collapsed, at most 200 characters, read
    // from a bounded part of it: links can nest, and each would read all of
    // what the outer ones hold.
    function linkText(el)
    {
        const walker = el.ownerDocument.createTreeWalker(el, 5 /* elements and text */);
        let text = '';
        let nodes = 0;
        for (let node = walker.nextNode(); node && nodes < LINK_TEXT_NODES;
             node = walker.nextNode(), ++nodes) {
            if (node.nodeType !== 3)
                continue;
            text += node.data.slice(0, LINK_TEXT_CHARACTERS - text.length);
            if (text.length >= LINK_TEXT_CHARACTERS)
                break;
        }
        return text.replace(/\s+/g, ' ').trim().slice(0, 200);
    }

    function typeOfFile(address)
    {
        try {
            return PICTURE_FILE.test(new URL(address).pathname);
        } catch (e) {
            return false;
        }
    }

    const info = {links: [], linkCount: 0, unreachableFrames: 0};

    // The document of a frame or object element when this world may read it;
    // null when it holds none, or one of another origin.
    function innerDocument(el, tag)
    {
        try {
            if (tag === 'embed')
                return el.getSVGDocument ? el.getSVGDocument() : null;
            return el.contentDocument;
        } catch (e) {
            return null;
        }
    }

    // A document, then the documents of its same-origin frames and objects where
    // they stand in it, at any depth.
    function walkDocument(document)
    {
        const view = document.defaultView;
        const savedAnchor = anchorFor;
        const savedTop = atTop;
        atTop = document === top;
        const charset = (document.characterSet || '').toUpperCase();
        anchorFor = charset === 'UTF-8' || charset.startsWith('UTF-16') || !document.createElementNS
                        ? null
                        : {base: document.baseURI,
                           anchor: document.createElementNS('http://www.w3.org/1999/xhtml', 'a')};

        // Resource timing of this document, read once.
        const timing = new Map();
        try {
            if (!list) {
                for (const t of view.performance.getEntriesByType('resource'))
                    if (!timing.has(t.name))
                        timing.set(t.name, t);
            }
        } catch (e) {
        }

        walkTree(document, document, view, false);

        // Sizes the engine knows from loading them in this document, and
        // what the load took from the network.
        for (const [address, t] of timing) {
            const entry = entries.get(address);
            if (!entry)
                continue;
            if (!entry.timed) {
                entry.timed = true;
                entry.transfer = t.transferSize || 0;
                entry.encoded = t.encodedBodySize || 0;
            }
            if (entry.bytes >= 0 || entry.failed)
                continue;
            const size = t.decodedBodySize > 0 ? t.decodedBodySize
                       : t.encodedBodySize > 0 ? t.encodedBodySize : -1;
            if (size > 0)
                entry.bytes = size;
        }
        anchorFor = savedAnchor;
        atTop = savedTop;
    }

    // The style sheets of a document or shadow root: its own, then adopted ones.
    function sheetsOf(root)
    {
        const sheets = Array.from(root.styleSheets || []);
        try {
            for (const sheet of root.adoptedStyleSheets || [])
                sheets.push(sheet);
        } catch (e) {
        }
        return sheets;
    }

    // The elements of a document or of an open shadow root, in order; a host's
    // shadow tree right after the host. `hostHidden`: the tree shows nothing.
    function walkTree(root, document, view, hostHidden)
    {
        const doc = {document: document, root: root, unreadableSheets: false,
                     pseudoSelectors: [], visible: true};
        const seenSheets = new Set();
        const sheets = sheetsOf(root);

        // The sheets first, so that the elements whose ::before or ::after can
        // show a picture are known before the elements are walked. Their uses
        // are recorded at the place of their style or link element.
        const sheetAt = new Map();
        for (const sheet of sheets) {
            if (sheet.ownerNode)
                sheetAt.set(sheet.ownerNode, sheet);
        }
        // Read the rules now to learn their ::before/::after selectors, but
        // record their uses at the owner's place in the walk below.
        for (const sheet of sheets) {
            const probe = {document: document, unreadableSheets: false, pseudoSelectors: []};
            probeSheet(sheet, probe, new Set());
            if (probe.unreadableSheets)
                doc.unreadableSheets = true;
            for (const s of probe.pseudoSelectors)
                doc.pseudoSelectors.push(s);
        }
        const hosts = pseudoHosts(doc);

        const all = root === document ? document.getElementsByTagName('*')
                                      : root.querySelectorAll('*');
        // Below an element that shows nothing, until the element after it and
        // all it holds (null: to the end).
        let hidden = hostHidden;
        let hiddenEnd = null;
        const pictures = new Set();  // the picture elements whose sources are read
        const baseUri = document.baseURI;

        // The computed styles of `el`: skipped below an element that shows
        // nothing (no box, so no picture shown; its inline style is still read).
        // False when `el` shows nothing.
        function styleStep(el)
        {
            if (markupOnly) {
                const inline = el.getAttribute('style');
                if (inline && inline.indexOf('url(') >= 0 && el.style)
                    styleUses(el.style, el, '', baseUri, doc);
                return true;
            }
            if (hidden) {
                if (el !== hiddenEnd) {
                    const inline = el.getAttribute('style');
                    if (inline && inline.indexOf('url(') >= 0 && el.style) {
                        doc.visible = false;
                        styleUses(el.style, el, '', baseUri, doc);
                        doc.visible = true;
                    }
                    return false;
                }
                hidden = false;
            }
            const style = view.getComputedStyle(el);
            if (style.display === 'none') {
                // The first element after this one's descendants, in document
                // order. Each ancestor climbed here ends the subtree of a later
                // hidden element at most once, so the climbs add up to one walk.
                hidden = true;
                let up = el;
                while (up && !up.nextElementSibling)
                    up = up.parentElement;
                hiddenEnd = up ? up.nextElementSibling : null;
                const inline = el.getAttribute('style');
                if (inline && inline.indexOf('url(') >= 0 && el.style) {
                    doc.visible = false;
                    styleUses(el.style, el, '', baseUri, doc);
                    doc.visible = true;
                }
                return false;
            }
            styleUses(style, el, '', baseUri, doc);
            if (hosts === null || hosts.has(el)) {
                styleUses(view.getComputedStyle(el, '::before'), el, '::before', baseUri, doc);
                styleUses(view.getComputedStyle(el, '::after'), el, '::after', baseUri, doc);
            }
            return true;
        }

        for (let i = 0, n = all.length; i < n; ++i) {
            const el = all[i];
            const tag = el.localName;
            const sheet = sheetAt.get(el);
            if (sheet)
                sheetUses(sheet, doc, seenSheets);

            switch (tag) {
            case 'img': {
                const group = [];
                // A picture's sources come before its img, in the document
                // and in the list.
                // Only its first img takes them: a picture has one.
                const parent = el.parentElement;
                if (parent && parent.localName === 'picture' && !pictures.has(parent)) {
                    pictures.add(parent);
                    for (const child of parent.children) {
                        if (child.localName === 'source' && child.hasAttribute('srcset'))
                            srcsetUses(child.getAttribute('srcset'), 'source', child, baseUri,
                                       child.getAttribute('type') || '', group);
                    }
                }
                const src = resolve(el.getAttribute('src'), baseUri);
                let primary = null;
                if (src)
                    primary = use(src, 'img', el, '', '');
                if (el.hasAttribute('srcset'))
                    srcsetUses(el.getAttribute('srcset'), 'srcset', el, baseUri, '', group);
                const current = el.currentSrc;
                let shown = null;
                if (current && allowed(current)) {
                    shown = entries.get(current);
                    if (!shown)
                        shown = use(current, 'img', el, '', '');
                }
                if (shown) {
                    if (el.complete && el.naturalWidth > 0 && !shown.natural)
                        shown.natural = [el.naturalWidth, el.naturalHeight];
                    if (el.complete && el.naturalWidth === 0 && !shown.natural)
                        shown.failed = true;
                    shows(shown, el);
                }
                if (!primary)
                    primary = shown || (group.length ? entries.get(group[0][0]) : null);
                imageFacts(shown && shown !== primary ? [primary, shown] : [primary], el, view);
                if (primary) {
                    for (const [address, descriptor] of group)
                        addVariant(primary, address, descriptor);
                }
                break;
            }
            case 'link': {
                const rel = (el.getAttribute('rel') || '').toLowerCase();
                if (rel.indexOf('icon') >= 0) {
                    const address = resolve(el.getAttribute('href'), baseUri);
                    if (address)
                        use(address, 'icon', el, '', el.getAttribute('type') || '');
                } else if (/\bpreload\b/.test(rel) &&
                           (el.getAttribute('as') || '').toLowerCase() === 'image') {
                    const address = resolve(el.getAttribute('href'), baseUri);
                    if (address)
                        use(address, 'link', el, '', el.getAttribute('type') || '');
                }
                break;
            }
            case 'meta': {
                const key = (el.getAttribute('property') || el.getAttribute('name') || '')
                                .toLowerCase();
                if (META_NAMES.has(key)) {
                    const address = resolve(el.getAttribute('content'), baseUri);
                    if (address)
                        use(address, 'meta', el, '', '');
                }
                break;
            }
            case 'video': {
                const address = resolve(el.getAttribute('poster'), baseUri);
                if (address)
                    shows(use(address, 'poster', el, '', ''), el);
                break;
            }
            case 'input':
                if ((el.getAttribute('type') || '').toLowerCase() === 'image') {
                    const address = resolve(el.getAttribute('src'), baseUri);
                    if (address) {
                        const entry = use(address, 'input', el, '', '');
                        shows(entry, el);
                        imageFacts([entry], el, view);
                    }
                }
                break;
            case 'image':
            case 'feImage':
            case 'feimage':
                if (el.namespaceURI === 'http://www.w3.org/2000/svg') {
                    const address = resolve(el.getAttribute('href') ||
                                            el.getAttributeNS(XLINK, 'href'), baseUri);
                    if (address) {
                        const entry = use(address, 'svg', el, '', '');
                        if (tag === 'image')
                            shows(entry, el);
                    }
                }
                break;
            case 'object':
            case 'embed': {
                const address = resolve(el.getAttribute(tag === 'object' ? 'data' : 'src'),
                                        baseUri);
                const type = (el.getAttribute('type') || '').toLowerCase();
                if (address && (type.startsWith('image/') ||
                                (!type && (address.startsWith('data:image/') ||
                                           typeOfFile(address)))))
                    shows(use(address, 'object', el, '', type), el);
                // An SVG document it shows, read where it stands.
                const inner = innerDocument(el, tag);
                if (inner && inner.documentElement)
                    walkDocument(inner);
                else if (tag === 'object' && el.contentWindow)
                    info.unreachableFrames += 1;
                break;
            }
            case 'a':
            case 'area':
                if (el.hasAttribute('href') && el.namespaceURI === 'http://www.w3.org/1999/xhtml') {
                    const raw = el.getAttribute('href');
                    let address = null;
                    try {
                        address = new URL(raw.trim(), baseUri).href;
                    } catch (e) {
                    }
                    if (address && !/^javascript:/i.test(address)) {
                        const picture = linkUses(el, baseUri) === true;
                        if (!list && !markupOnly) {
                            info.linkCount += 1;
                            info.links.push({
                                text: tag === 'a' ? linkText(el)
                                                  : boundedTrim(el.getAttribute('alt') || '')
                                                        .replace(/\s+/g, ' ').slice(0, 200),
                                address: address,
                                target: (el.getAttribute('target') || '').slice(0, MAX_TEXT),
                                picture: picture});
                        }
                    }
                }
                break;
            case 'iframe':
            case 'frame': {
                const inner = innerDocument(el, tag);
                if (inner && inner.documentElement)
                    walkDocument(inner);
                else if (!inner && el.contentWindow)
                    info.unreachableFrames += 1;
                break;
            }
            default:
                break;
            }

            // Lazy-loading attributes, on any element that may show a picture
            // (a frame's or a sound's lazy source is none). Their names only: an
            // attribute asked for as a node stays one as long as its element.
            const names = LAZY_NONE.has(tag) ? [] : el.getAttributeNames();
            for (let a = 0; a < names.length; ++a) {
                const name = names[a];
                if (name.length < 6 || name.charCodeAt(0) !== 100 /* d */ || !name.startsWith('data-'))
                    continue;
                if (!LAZY_ATTRIBUTES.has(name) && !LAZY_SRCSET_ATTRIBUTES.has(name))
                    continue;
                // A video's lazy poster is a picture, its lazy source not.
                if ((tag === 'video' && name !== 'data-poster') ||
                    (tag === 'source' && el.parentElement &&
                     /^(video|audio)$/.test(el.parentElement.localName)))
                    continue;
                const value = el.getAttribute(name);
                if (LAZY_ATTRIBUTES.has(name)) {
                    if (LAZY_FLAGS.test(value.trim()))
                        continue;
                    const raws = value.indexOf('url(') >= 0 ? cssUrls(value) : [value];
                    for (const raw of raws) {
                        const address = resolve(raw, baseUri);
                        if (address) {
                            use(address, 'lazy', el, '', '');
                            placeholderOf(el, address, baseUri);
                        }
                    }
                } else if (LAZY_SRCSET_ATTRIBUTES.has(name)) {
                    const group = [];
                    srcsetUses(value, 'lazy', el, baseUri, '', group);
                    for (const [address] of group)
                        placeholderOf(el, address, baseUri);
                    if (tag === 'img' && group.length) {
                        let primary = resolve(el.getAttribute('src'), baseUri);
                        primary = primary ? entries.get(primary) : entries.get(group[0][0]);
                        for (const [address, descriptor] of group)
                            addVariant(primary, address, descriptor);
                    }
                }
            }

            const showing = styleStep(el);
            // An open shadow tree, and what it slots in (the host's own
            // children, walked in their turn).
            const shadow = el.shadowRoot;
            if (shadow)
                walkTree(shadow, document, view, !showing);
        }

        // Sheets with no element of their own in the walk (adopted, or owned
        // by a node outside the elements).
        for (const sheet of sheets)
            sheetUses(sheet, doc, seenSheets);
    }

    // Reads a sheet's rules only for their ::before/::after selectors.
    function probeSheet(sheet, probe, seen)
    {
        if (!sheet || seen.has(sheet))
            return;
        seen.add(sheet);
        let rules;
        try {
            rules = sheet.cssRules;
        } catch (e) {
            probe.unreadableSheets = true;
            return;
        }
        if (!rules) {
            probe.unreadableSheets = true;
            return;
        }
        const visit = list => {
            for (let i = 0; i < list.length; ++i) {
                const rule = list[i];
                if (rule.styleSheet !== undefined && rule.href !== undefined) {
                    probeSheet(rule.styleSheet, probe, seen);
                    continue;
                }
                if (rule.selectorText && rule.style && PSEUDO_RULE.test(rule.selectorText)) {
                    const text = rule.style.cssText;
                    if (text.indexOf('url(') >= 0 || text.indexOf('var(') >= 0)
                        probe.pseudoSelectors.push(rule.selectorText);
                }
                if (rule.cssRules)
                    visit(rule.cssRules);
            }
        };
        visit(rules);
    }

    const top = document;
    if (!list && top.defaultView && top.defaultView.innerWidth > 0 &&
        top.defaultView.innerHeight > 0)
        firstScreen = [top.defaultView.innerWidth, top.defaultView.innerHeight];
    walkDocument(top);

    if (list) {
        const escape = c => c === '\t' ? '\\t' : c === '\r' ? '\\r' : c === '\n' ? '\\n'
                          : c === '\0' ? '\\0' : '\\\\';
        const lines = [];
        for (const e of order) {
            const kinds = [];
            for (const kind of KIND_ORDER) {
                if (e.kinds & KIND_BIT.get(kind))
                    kinds.push(kind);
            }
            lines.push(e.address.replace(/[\t\r\n\0\\]/g, escape) + '\t' + kinds.join(',') + '\n');
        }
        return lines.join('');
    }

    let markup = '';
    if (top.doctype) {
        const d = top.doctype;
        markup = '<!DOCTYPE ' + d.name + (d.publicId ? ' PUBLIC "' + d.publicId + '"' : '') +
                 (d.systemId ? (d.publicId ? '' : ' SYSTEM') + ' "' + d.systemId + '"' : '') + '>';
    }
    const documentType = markup;
    if (top.documentElement && !markupOnly)
        markup += top.documentElement.outerHTML;
    const markupBytes = new TextEncoder().encode(markup).length;
    markup = '';
    const metaTags = [];
    for (const m of top.getElementsByTagName('meta')) {
        const key = m.getAttribute('name') || m.getAttribute('property') ||
                    m.getAttribute('http-equiv') || m.getAttribute('charset') && 'charset';
        if (key)
            metaTags.push([key, m.getAttribute('content') || m.getAttribute('charset') || '']);
    }

    return JSON.stringify({
        pageAddress: top.URL,
        title: top.title,
        baseUri: top.baseURI,
        characterSet: top.characterSet,
        documentType: documentType,
        contentType: top.contentType,
        renderMode: top.compatMode === 'BackCompat' ? 'quirks' : 'standards',
        lastModified: top.lastModified,
        markupBytes: markupBytes,
        linkCount: info.linkCount,
        unreachableFrames: info.unreachableFrames,
        firstScreen: firstScreen,
        devicePixelRatio: top.defaultView ? top.defaultView.devicePixelRatio : 1,
        metaTags: metaTags,
        links: info.links,
        // Of a document its markup alone made: what tells where each came from.
        pictures: markupOnly ? order.map(e => ({
            address: e.address,
            kinds: KIND_ORDER.filter(k => e.kinds & KIND_BIT.get(k)),
            rule: e.rule || undefined,
            frame: e.frame || undefined,
            placeholder: e.placeholder ? Array.from(e.stands) : undefined,
        })) : order.map(e => ({
            address: e.address,
            kinds: KIND_ORDER.filter(k => e.kinds & KIND_BIT.get(k)),
            uses: e.uses,
            alt: e.alt,
            element: e.element,
            natural: e.natural,
            displayed: e.displayed,
            type: e.type,
            bytes: e.bytes,
            failed: e.failed,
            variants: e.variants || [],
            // Set only when true (or known), to keep the answer short.
            rule: e.rule || undefined,
            frame: e.frame || undefined,
            loaded: e.loaded || undefined,
            waiting: e.waiting || undefined,
            lazy: e.lazy || undefined,
            lazyFirst: e.lazyFirst || undefined,
            eagerOff: (e.eagerOff && !e.eagerFirst) || undefined,
            noAlt: e.noAlt || undefined,
            noSize: e.noSize || undefined,
            timed: e.timed || undefined,
            transfer: e.timed ? e.transfer : undefined,
            encoded: e.timed ? e.encoded : undefined,
            placeholder: e.placeholder ? Array.from(e.stands) : undefined,
        })),
    });
})
