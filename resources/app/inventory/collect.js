// The page inventory collector. Runs in an isolated JavaScript world of its own,
// so the page's scripts can neither see it nor change the built-ins it uses,
// and it works with the page's own scripts turned off. It walks the document
// and its same-origin frames once, in document order, and answers one JSON text
// that PageInventory reads.
(function () {
    'use strict';

    const KIND_ORDER = ['img', 'srcset', 'source', 'lazy', 'css', 'icon', 'meta', 'poster',
                        'input', 'svg', 'object', 'link'];
    const LAZY_ATTRIBUTES = new Set([
        'data-src', 'data-original', 'data-original-src', 'data-lazy-src', 'data-lazy',
        'data-lazyload', 'data-bg', 'data-bg-src', 'data-background', 'data-background-image',
        'data-echo', 'data-hi-res-src', 'data-full-src', 'data-large-src', 'data-zoom-image',
        'data-image', 'data-img', 'data-poster', 'data-thumb']);
    const LAZY_SRCSET_ATTRIBUTES = new Set(['data-srcset', 'data-lazy-srcset', 'data-original-set']);
    // Values that lazy-loading libraries put in these attributes that name no picture.
    const LAZY_FLAGS = /^(true|false|yes|no|on|off|[01]|lazy|eager|auto|none)$/i;
    const META_NAMES = new Set(['og:image', 'og:image:url', 'og:image:secure_url', 'twitter:image',
                                'twitter:image:src', 'msapplication-tileimage']);
    const PICTURE_FILE = /\.(bmp|gif|jpe?g|png|webp|svg|avif|ico|tiff?|apng|jxl)$/i;
    const CSS_PROPERTIES = ['background-image', 'border-image-source', 'list-style-image', 'content'];
    const PSEUDO_RULE = /::?(before|after)\b/i;
    const STATE_PSEUDO = /::?(before|after|hover|focus|focus-within|focus-visible|active|visited|target)\b/gi;
    const XLINK = 'http://www.w3.org/1999/xlink';

    const entries = new Map();  // address -> entry, in order of first use
    const order = [];

    function allowed(address)
    {
        const lower = address.slice(0, 12).toLowerCase();
        return lower.startsWith('http:') || lower.startsWith('https:') || lower.startsWith('file:') ||
               lower.startsWith('data:image/') || lower.startsWith('blob:');
    }

    function resolve(raw, base)
    {
        if (typeof raw !== 'string')
            return null;
        const text = raw.trim();
        if (!text)
            return null;
        let address;
        try {
            address = new URL(text, base).href;
        } catch (e) {
            return null;
        }
        return allowed(address) ? address : null;
    }

    function describe(el, pseudo)
    {
        let text = el.localName || '';
        if (el.id)
            text += '#' + el.id;
        const cls = typeof el.className === 'string' ? el.className
                                                     : el.getAttribute('class') || '';
        const names = cls.split(/\s+/);
        let count = 0;
        for (const name of names) {
            if (name && count < 3) {
                text += '.' + name;
                ++count;
            }
        }
        if (text.length > 120)
            text = text.slice(0, 120);
        return pseudo ? text + pseudo : text;
    }

    function textOf(el)
    {
        if (!el || !el.getAttribute)
            return '';
        const alt = el.getAttribute('alt');
        if (alt && alt.trim())
            return alt.trim();
        const title = el.getAttribute('title');
        return title && title.trim() ? title.trim() : '';
    }

    // One use of `address` by `kind` at `where` (an element, or a text for rules).
    function use(address, kind, where, pseudo, type)
    {
        let entry = entries.get(address);
        if (!entry) {
            entry = {address: address, kinds: new Set(), uses: 0, alt: '',
                     element: typeof where === 'string' ? where : describe(where, pseudo),
                     natural: null, displayed: null, area: 0, type: '', bytes: -1,
                     failed: false, variants: []};
            entries.set(address, entry);
            order.push(entry);
        }
        entry.kinds.add(kind);
        entry.uses += 1;
        if (!entry.alt && typeof where !== 'string')
            entry.alt = textOf(where);
        if (type && !entry.type && /^image\//i.test(type))
            entry.type = type.toLowerCase();
        return entry;
    }

    function shows(entry, el)
    {
        const rect = el.getBoundingClientRect();
        const w = Math.round(rect.width), h = Math.round(rect.height);
        if (w * h > entry.area || (!entry.displayed && w + h > 0)) {
            entry.area = w * h;
            entry.displayed = [w, h];
        }
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
                url = url.replace(/,+$/, '');
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

    // Every url() of a CSS value, image-set() candidates included.
    function cssUrls(value)
    {
        const out = [];
        if (!value || value.indexOf('url(') < 0)
            return out;
        const re = /url\(\s*(?:"((?:[^"\\]|\\.)*)"|'((?:[^'\\]|\\.)*)'|([^)\s]*))\s*\)/g;
        let m;
        while ((m = re.exec(value)) !== null) {
            const raw = m[1] !== undefined ? m[1] : m[2] !== undefined ? m[2] : m[3];
            out.push(raw.replace(/\\([0-9a-fA-F]{1,6})\s?|\\(.)/g,
                                 (s, hex, c) => hex ? codePoint(parseInt(hex, 16)) : c));
        }
        return out;
    }

    function addVariant(entry, address, descriptor)
    {
        const text = descriptor ? address + ' ' + descriptor : address;
        if (entry.variants.indexOf(text) < 0)
            entry.variants.push(text);
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
        const label = sheet.href ? 'stylesheet ' + sheet.href : 'style';
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
                    const where = rule.selectorText ? label + ' ' + rule.selectorText
                                                    : label;
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
        const hosts = new Set();
        for (const selectorText of doc.pseudoSelectors) {
            for (let part of selectorText.split(',')) {
                part = part.replace(STATE_PSEUDO, '').trim();
                if (!part || /[>+~]$/.test(part))
                    part += '*';
                try {
                    for (const el of doc.document.querySelectorAll(part))
                        hosts.add(el);
                } catch (e) {
                    return null;
                }
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

    function typeOfFile(address)
    {
        try {
            return PICTURE_FILE.test(new URL(address).pathname);
        } catch (e) {
            return false;
        }
    }

    const info = {links: [], linkCount: 0};

    function walkDocument(document)
    {
        const view = document.defaultView;
        const doc = {document: document, unreadableSheets: false, pseudoSelectors: [],
                     visible: true};
        const seenSheets = new Set();

        // Resource timing of this document, read once.
        const timing = new Map();
        try {
            for (const t of view.performance.getEntriesByType('resource'))
                if (!timing.has(t.name))
                    timing.set(t.name, t);
        } catch (e) {
        }

        // The sheets first, so that the elements whose ::before or ::after can
        // show a picture are known before the elements are walked. Their uses
        // are recorded at the place of their style or link element.
        const sheetAt = new Map();
        for (const sheet of document.styleSheets) {
            if (sheet.ownerNode)
                sheetAt.set(sheet.ownerNode, sheet);
        }
        // Read the rules now to learn their ::before/::after selectors, but
        // record their uses at the owner's place in the walk below.
        for (const sheet of document.styleSheets) {
            const probe = {document: document, unreadableSheets: false, pseudoSelectors: []};
            probeSheet(sheet, probe, new Set());
            if (probe.unreadableSheets)
                doc.unreadableSheets = true;
            for (const s of probe.pseudoSelectors)
                doc.pseudoSelectors.push(s);
        }
        const hosts = pseudoHosts(doc);

        const all = document.getElementsByTagName('*');
        let hiddenRoot = null;
        const baseUri = document.baseURI;
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
                const parent = el.parentElement;
                if (parent && parent.localName === 'picture') {
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
                    if (address)
                        shows(use(address, 'input', el, '', ''), el);
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
                        info.linkCount += 1;
                        info.links.push({text: (tag === 'a' ? el.textContent : el.getAttribute('alt') || '')
                                                   .replace(/\s+/g, ' ').trim().slice(0, 200),
                                         address: address,
                                         target: el.getAttribute('target') || '',
                                         picture: picture});
                    }
                }
                break;
            case 'iframe':
            case 'frame': {
                let inner = null;
                try {
                    inner = el.contentDocument;
                } catch (e) {
                    inner = null;
                }
                if (inner && inner.documentElement)
                    walkDocument(inner);
                break;
            }
            default:
                break;
            }

            // Lazy-loading attributes, on any element.
            const attributes = el.attributes;
            for (let a = 0; a < attributes.length; ++a) {
                const name = attributes[a].name;
                if (name.length < 6 || name.charCodeAt(0) !== 100 /* d */ || !name.startsWith('data-'))
                    continue;
                const value = attributes[a].value;
                if (LAZY_ATTRIBUTES.has(name)) {
                    if (LAZY_FLAGS.test(value.trim()))
                        continue;
                    const raws = value.indexOf('url(') >= 0 ? cssUrls(value) : [value];
                    for (const raw of raws) {
                        const address = resolve(raw, baseUri);
                        if (address)
                            use(address, 'lazy', el, '', '');
                    }
                } else if (LAZY_SRCSET_ATTRIBUTES.has(name)) {
                    const group = [];
                    srcsetUses(value, 'lazy', el, baseUri, '', group);
                    if (tag === 'img' && group.length) {
                        let primary = resolve(el.getAttribute('src'), baseUri);
                        primary = primary ? entries.get(primary) : entries.get(group[0][0]);
                        for (const [address, descriptor] of group)
                            addVariant(primary, address, descriptor);
                    }
                }
            }

            // Computed styles: skipped below an element that shows nothing
            // (no box, so no picture shown; its inline style is still read).
            if (hiddenRoot) {
                if (hiddenRoot.contains(el)) {
                    const inline = el.getAttribute('style');
                    if (inline && inline.indexOf('url(') >= 0 && el.style) {
                        doc.visible = false;
                        styleUses(el.style, el, '', baseUri, doc);
                        doc.visible = true;
                    }
                    continue;
                }
                hiddenRoot = null;
            }
            const style = view.getComputedStyle(el);
            if (style.display === 'none') {
                hiddenRoot = el;
                const inline = el.getAttribute('style');
                if (inline && inline.indexOf('url(') >= 0 && el.style) {
                    doc.visible = false;
                    styleUses(el.style, el, '', baseUri, doc);
                    doc.visible = true;
                }
                continue;
            }
            styleUses(style, el, '', baseUri, doc);
            if (hosts === null || hosts.has(el)) {
                styleUses(view.getComputedStyle(el, '::before'), el, '::before', baseUri, doc);
                styleUses(view.getComputedStyle(el, '::after'), el, '::after', baseUri, doc);
            }
        }

        // Sheets with no element of their own in the walk (adopted, or owned
        // by a node outside the elements).
        for (const sheet of document.styleSheets)
            sheetUses(sheet, doc, seenSheets);

        // Sizes the engine knows from loading them in this document.
        for (const entry of order) {
            if (entry.bytes >= 0 || entry.failed)
                continue;
            const t = timing.get(entry.address);
            if (!t)
                continue;
            const size = t.decodedBodySize > 0 ? t.decodedBodySize
                       : t.encodedBodySize > 0 ? t.encodedBodySize : -1;
            if (size > 0)
                entry.bytes = size;
        }
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
    walkDocument(top);

    let markup = '';
    if (top.doctype) {
        const d = top.doctype;
        markup = '<!DOCTYPE ' + d.name + (d.publicId ? ' PUBLIC "' + d.publicId + '"' : '') +
                 (d.systemId ? (d.publicId ? '' : ' SYSTEM') + ' "' + d.systemId + '"' : '') + '>';
    }
    const documentType = markup;
    if (top.documentElement)
        markup += top.documentElement.outerHTML;
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
        renderMode: top.compatMode === 'BackCompat' ? 'quirks' : 'standards',
        lastModified: top.lastModified,
        markupBytes: new TextEncoder().encode(markup).length,
        linkCount: info.linkCount,
        metaTags: metaTags,
        links: info.links,
        pictures: order.map(e => ({
            address: e.address,
            kinds: KIND_ORDER.filter(k => e.kinds.has(k)),
            uses: e.uses,
            alt: e.alt,
            element: e.element,
            natural: e.natural,
            displayed: e.displayed,
            type: e.type,
            bytes: e.bytes,
            failed: e.failed,
            variants: e.variants,
        })),
    });
})()
