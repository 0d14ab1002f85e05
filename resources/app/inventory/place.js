// Where a page uses a picture, and which pictures a point of it shows. Runs in
// the program's own JavaScript world, never the page's: the page's scripts
// cannot see it, nor change the built-ins it uses, and nothing here changes the
// document (no element, attribute or style is added), so that what watches the
// document sees nothing of it. Only scrolling an element into view shows.
//
// One function of a request, answering one JSON text (or a list, for 'markup'):
//   {op: 'show', addresses, styles}
//                              the first element that uses one of the addresses
//                              (the first with a box, else the first at all),
//                              scrolled to the middle of the view, with its box
//                              in the top document's CSS pixels; kept for 'measure'
//   {op: 'measure'}            the box of the element last shown, or null
//   {op: 'markup', addresses, styles}
//                              the first element in the body that uses one of
//                              them (or the frame or shadow host that holds it):
//                              [the answer, body.outerHTML before its markup,
//                              the first 256 code units of its markup]
//   {op: 'at', x, y}           the pictures at a point of the view (CSS pixels),
//                              topmost first
// `styles`: the picture is known to be used by a style (a background…), whose
// elements are then looked for from the start.
(function (request) {
    'use strict';

    const XLINK = 'http://www.w3.org/1999/xlink';
    const SVG = 'http://www.w3.org/2000/svg';
    const HTML = 'http://www.w3.org/1999/xhtml';
    const CSS_PROPERTIES = ['background-image', 'border-image-source', 'list-style-image', 'content'];
    // The elements whose text the engine writes out as it is, unescaped.
    const RAW_TEXT = new Set(['style', 'script', 'xmp', 'iframe', 'noembed', 'noframes',
                              'plaintext', 'noscript']);
    const top = document;

    function resolve(raw, base)
    {
        if (typeof raw !== 'string' || !raw.trim())
            return null;
        try {
            return new URL(raw.trim(), base).href;
        } catch (e) {
            return null;
        }
    }

    // "img#logo.header": as the inventory names the places it found.
    function describe(el)
    {
        let text = el.localName || '';
        if (el.id)
            text += '#' + el.id.slice(0, 120);
        const cls = typeof el.className === 'string' ? el.className : el.getAttribute('class') || '';
        const names = cls.split(/\s+/).filter(Boolean).slice(0, 3);
        for (const name of names)
            text += '.' + name.slice(0, 120);
        return text.slice(0, 120);
    }

    // The addresses of a srcset value, commas inside addresses kept, as the
    // HTML parser reads them.
    function srcsetUrls(value)
    {
        const out = [];
        if (!value)
            return out;
        const n = value.length;
        const space = c => c === ' ' || c === '\t' || c === '\n' || c === '\r' || c === '\f';
        let i = 0;
        while (i < n) {
            while (i < n && (space(value[i]) || value[i] === ','))
                ++i;
            const start = i;
            while (i < n && !space(value[i]))
                ++i;
            let url = value.slice(start, i);
            if (url.endsWith(',')) {
                url = url.replace(/,+$/, '');
            } else {
                // Its descriptors, to the comma outside parentheses.
                let inParens = false;
                for (; i < n; ++i) {
                    const c = value[i];
                    if (c === '(')
                        inParens = true;
                    else if (c === ')')
                        inParens = false;
                    else if (c === ',' && !inParens)
                        break;
                }
            }
            if (url)
                out.push(url);
        }
        return out;
    }

    // The url()s of a computed value: the engine writes them as url("…").
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
                                 (s, hex, c) => hex ? String.fromCodePoint(
                                                          Math.min(parseInt(hex, 16), 0x10FFFF))
                                                    : c));
        }
        return out;
    }

    // The addresses an element names by its attributes, with what kind of use.
    function attributeUses(el, base, push)
    {
        const tag = el.localName;
        const html = el.namespaceURI === HTML;
        if (html && tag === 'img') {
            push(resolve(el.getAttribute('src'), base), 'img');
            if (el.currentSrc)
                push(el.currentSrc, 'img');
            for (const url of srcsetUrls(el.getAttribute('srcset')))
                push(resolve(url, base), 'img');
        } else if (html && tag === 'source') {
            for (const url of srcsetUrls(el.getAttribute('srcset')))
                push(resolve(url, base), 'source');
        } else if (html && tag === 'video') {
            push(resolve(el.getAttribute('poster'), base), 'poster');
        } else if (html && tag === 'input') {
            if ((el.getAttribute('type') || '').toLowerCase() === 'image')
                push(resolve(el.getAttribute('src'), base), 'input');
        } else if (el.namespaceURI === SVG && (tag === 'image' || tag === 'feImage')) {
            push(resolve(el.getAttribute('href') || el.getAttributeNS(XLINK, 'href'), base), 'svg');
        } else if (html && tag === 'object') {
            push(resolve(el.getAttribute('data'), base), 'object');
        } else if (html && tag === 'embed') {
            push(resolve(el.getAttribute('src'), base), 'object');
        } else if (html && (tag === 'a' || tag === 'area')) {
            push(resolve(el.getAttribute('href'), base), 'link');
        } else if (html && tag === 'link') {
            const rel = (el.getAttribute('rel') || '').toLowerCase();
            push(resolve(el.getAttribute('href'), base), rel.indexOf('icon') >= 0 ? 'icon' : 'link');
        } else if (html && tag === 'meta') {
            push(resolve(el.getAttribute('content'), base), 'meta');
        }
        // Lazy-loading attributes: data-src, data-srcset, data-bg="url(…)"…
        for (const name of el.getAttributeNames()) {
            if (!name.startsWith('data-'))
                continue;
            const value = el.getAttribute(name);
            if (!value || value.length > 100000)
                continue;
            const raws = value.indexOf('url(') >= 0 ? cssUrls(value) : srcsetUrls(value);
            for (const raw of raws)
                push(resolve(raw, base), 'lazy');
        }
    }

    function styleUses(el, push)
    {
        const view = el.ownerDocument.defaultView;
        if (!view)
            return;
        for (const pseudo of [null, '::before', '::after']) {
            const style = view.getComputedStyle(el, pseudo);
            for (const property of CSS_PROPERTIES) {
                for (const raw of cssUrls(style.getPropertyValue(property)))
                    push(resolve(raw, el.ownerDocument.baseURI), 'css');
            }
        }
    }

    // The document of a frame, object or embed when this world may read it.
    function innerDocument(el)
    {
        try {
            if (el.localName === 'embed')
                return el.getSVGDocument ? el.getSVGDocument() : null;
            return el.contentDocument || null;
        } catch (e) {
            return null;
        }
    }

    // Visits the elements of a document in order, a host's open shadow tree
    // right after the host and a same-origin frame's document right after its
    // frame, until `visit` answers true.
    function walk(doc, visit)
    {
        const walkRoot = root => {
            const all = root.nodeType === 9 ? root.getElementsByTagName('*')
                                            : root.querySelectorAll('*');
            for (let i = 0; i < all.length; ++i) {
                const el = all[i];
                if (visit(el))
                    return true;
                if (el.shadowRoot && walkRoot(el.shadowRoot))
                    return true;
                if (/^(iframe|frame|object|embed)$/.test(el.localName)) {
                    const inner = innerDocument(el);
                    if (inner && inner.documentElement && walkRoot(inner))
                        return true;
                }
            }
            return false;
        };
        return walkRoot(doc);
    }

    function uses(el, wanted, styles)
    {
        let kind = null;
        const push = (address, k) => {
            if (!kind && address && wanted.has(address))
                kind = k;
        };
        attributeUses(el, el.ownerDocument.baseURI, push);
        if (!kind && styles)
            styleUses(el, push);
        return kind;
    }

    // The element that shows the picture of a use: a picture's source shows
    // through its img.
    function shownBy(el, kind)
    {
        if (kind === 'source' && el.parentElement && el.parentElement.localName === 'picture')
            return el.parentElement.querySelector('img') || el.parentElement;
        return el;
    }

    function hasBox(el)
    {
        return el.getClientRects().length > 0;
    }

    // The element's box in the top document's viewport, in CSS pixels.
    function boxOf(el)
    {
        const r = el.getBoundingClientRect();
        let x = r.left, y = r.top;
        let view = el.ownerDocument.defaultView;
        while (view && view !== top.defaultView) {
            const frame = view.frameElement;
            if (!frame)
                break;
            const f = frame.getBoundingClientRect();
            const style = frame.ownerDocument.defaultView.getComputedStyle(frame);
            x += f.left + frame.clientLeft + (parseFloat(style.paddingLeft) || 0);
            y += f.top + frame.clientTop + (parseFloat(style.paddingTop) || 0);
            view = frame.ownerDocument.defaultView;
        }
        return [x, y, r.width, r.height];
    }

    // The element of the top document that holds `el`: itself, or the shadow
    // host or frame it lies in. `through` names what was climbed out of.
    function holderOf(el)
    {
        let through = '';
        for (;;) {
            const root = el.getRootNode();
            if (root && root.host) {
                el = root.host;
                through = through || 'shadow';
                continue;
            }
            if (el.ownerDocument !== top) {
                const frame = el.ownerDocument.defaultView && el.ownerDocument.defaultView.frameElement;
                if (!frame)
                    return null;
                el = frame;
                through = through || 'frame';
                continue;
            }
            return {element: el, through: through};
        }
    }

    function escapedLength(text, attribute)
    {
        let n = text.length;
        for (let i = 0; i < text.length; ++i) {
            const c = text.charCodeAt(i);
            if (c === 38) // &amp;
                n += 4;
            else if (c === 0xA0) // &nbsp;
                n += 5;
            else if (!attribute && (c === 60 || c === 62)) // &lt; &gt;
                n += 3;
            else if (attribute && c === 34) // &quot;
                n += 5;
        }
        return n;
    }

    function tagNameOf(el)
    {
        const ns = el.namespaceURI;
        return ns === HTML || ns === SVG || ns === 'http://www.w3.org/1998/Math/MathML'
                   ? el.localName : el.tagName;
    }

    // The length of a node as the engine writes it out inside `parent`.
    function writtenLength(node, parent)
    {
        switch (node.nodeType) {
        case 1:
            return node.outerHTML.length;
        case 3:
            return parent && parent.namespaceURI === HTML && RAW_TEXT.has(parent.localName)
                       ? node.data.length : escapedLength(node.data, false);
        case 4: // CDATA, written as text in an HTML document
            return escapedLength(node.data, false);
        case 7:
            return 4 + node.target.length + node.data.length;
        case 8:
            return 7 + node.data.length;
        default:
            return 0;
        }
    }

    function startTagLength(el)
    {
        let n = 2 + tagNameOf(el).length;
        for (const a of el.attributes) {
            let name = a.name;
            if (a.namespaceURI === XLINK)
                name = 'xlink:' + a.localName;
            else if (a.namespaceURI === 'http://www.w3.org/XML/1998/namespace')
                name = 'xml:' + a.localName;
            else if (a.namespaceURI === 'http://www.w3.org/2000/xmlns/')
                name = a.localName === 'xmlns' ? 'xmlns' : 'xmlns:' + a.localName;
            n += 1 + name.length + 3 + escapedLength(a.value, true);
        }
        return n;
    }

    // Where the markup of `el` starts in body.outerHTML (`outer`); -1 when it
    // cannot be told.
    function markupOffset(el, outer)
    {
        const body = top.body;
        let offset = 0;
        for (let node = el; node !== body;) {
            const parent = node.parentNode;
            if (!parent || parent.nodeType !== 1)
                return -1;
            for (let s = parent.firstChild; s && s !== node; s = s.nextSibling)
                offset += writtenLength(s, parent);
            offset += startTagLength(parent);
            node = parent;
        }
        const own = el.outerHTML;
        const head = own.slice(0, 256);
        if (outer.startsWith(head, offset))
            return offset;
        // The count went wrong somewhere: the element's own markup, when the
        // body holds it once only, or where it stands nearest to the count.
        let best = -1;
        for (let at = outer.indexOf(own); at >= 0; at = outer.indexOf(own, at + 1)) {
            if (best < 0 || Math.abs(at - offset) < Math.abs(best - offset))
                best = at;
        }
        return best;
    }

    // The first element that uses one of the addresses and that `accept`
    // takes, and the first at all. Styles are read only for a picture that the
    // inventory found in a style (each element's computed style is the costly
    // part), or when no element names it otherwise.
    function find(addresses, accept)
    {
        const wanted = new Set(addresses);
        const pass = styles => {
            let first = null;
            let chosen = null;
            walk(top, el => {
                const kind = uses(el, wanted, styles);
                if (!kind)
                    return false;
                const place = {element: shownBy(el, kind), kind: kind};
                if (!first)
                    first = place;
                if (accept(place)) {
                    chosen = place;
                    return true;
                }
                return false;
            });
            return {chosen: chosen, first: first};
        };
        const found = pass(!!request.styles);
        return found.chosen || request.styles ? found : pass(true);
    }

    function placeText(place)
    {
        return place ? {element: describe(place.element), kind: place.kind} : {};
    }

    switch (request.op) {
    case 'show': {
        const {chosen, first} = find(request.addresses, place => hasBox(place.element));
        const place = chosen || first;
        const answer = Object.assign({found: !!place, shown: !!chosen}, placeText(place));
        if (chosen) {
            globalThis.quarrowShownElement = new WeakRef(chosen.element);
            chosen.element.scrollIntoView({block: 'center', inline: 'center', behavior: 'instant'});
            answer.box = boxOf(chosen.element);
        }
        return JSON.stringify(answer);
    }
    case 'measure': {
        const ref = globalThis.quarrowShownElement;
        const el = ref && ref.deref();
        return JSON.stringify(el && el.isConnected && hasBox(el) ? {box: boxOf(el)} : {});
    }
    case 'markup': {
        const body = top.body;
        const inBody = place => {
            const holder = holderOf(place.element);
            return !!holder && !!body && body.contains(holder.element);
        };
        const {chosen, first} = find(request.addresses, inBody);
        const place = chosen || first;
        const answer = Object.assign({found: !!place, inBody: !!chosen}, placeText(place));
        if (chosen) {
            const holder = holderOf(chosen.element);
            const outer = body.outerHTML;
            const offset = markupOffset(holder.element, outer);
            answer.through = holder.through;
            answer.holder = describe(holder.element);
            // The markup before it and its start, as texts of their own: they
            // reach the program as the body's markup reached it for the harvest,
            // whatever that makes of a lone surrogate, and are compared with it.
            if (offset >= 0)
                return [JSON.stringify(answer), outer.slice(0, offset),
                        outer.slice(offset, offset + 256)];
        }
        return [JSON.stringify(answer)];
    }
    case 'at': {
        const out = [];
        const push = address => {
            if (address && /^(https?|file|data|blob):/i.test(address) && out.indexOf(address) < 0)
                out.push(address);
        };
        const seen = new Set();
        const visit = (root, x, y) => {
            for (const el of root.elementsFromPoint(x, y)) {
                if (seen.has(el))
                    continue;
                seen.add(el);
                if (el.shadowRoot)
                    visit(el.shadowRoot, x, y);
                const tag = el.localName;
                if (tag === 'iframe' || tag === 'frame') {
                    const inner = innerDocument(el);
                    if (inner && inner.documentElement) {
                        const f = el.getBoundingClientRect();
                        const style = el.ownerDocument.defaultView.getComputedStyle(el);
                        visit(inner, x - f.left - el.clientLeft - (parseFloat(style.paddingLeft) || 0),
                              y - f.top - el.clientTop - (parseFloat(style.paddingTop) || 0));
                    }
                }
                const base = el.ownerDocument.baseURI;
                if (tag === 'img' && el.namespaceURI === HTML)
                    push(el.currentSrc || resolve(el.getAttribute('src'), base));
                else if (tag === 'video')
                    push(resolve(el.getAttribute('poster'), base));
                else if (tag === 'input' && (el.getAttribute('type') || '').toLowerCase() === 'image')
                    push(resolve(el.getAttribute('src'), base));
                else if (tag === 'image' && el.namespaceURI === SVG)
                    push(resolve(el.getAttribute('href') || el.getAttributeNS(XLINK, 'href'), base));
                styleUses(el, address => push(address));
            }
        };
        visit(top, request.x, request.y);
        return JSON.stringify({addresses: out});
    }
    default:
        return JSON.stringify({});
    }
})
