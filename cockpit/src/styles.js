// Cockpit's content security policy refuses style elements, and xterm keeps its cell sizes and
// colours in style elements it makes. In this page a style element made by script is an inert
// <template> instead, and its rules go into a constructed style sheet (which the policy
// allows) while it is in the document, following every change made to its text.
const sheets = new Map(); // holder → { sheet, text }

function follow() {
    for (const holder of sheets.keys())
        if (!holder.isConnected)
            sheets.delete(holder);
    for (const holder of document.querySelectorAll("template[data-style]")) {
        const held = sheets.get(holder) ?? { sheet: new CSSStyleSheet(), text: null };
        sheets.set(holder, held);
        if (held.text !== holder.textContent)
            held.sheet.replaceSync(held.text = holder.textContent);
    }
    const wanted = [...sheets.values()].map(held => held.sheet);
    if (wanted.length !== document.adoptedStyleSheets.length || wanted.some((s, i) => s !== document.adoptedStyleSheets[i]))
        document.adoptedStyleSheets = wanted;
}

export function adoptScriptStyles() {
    const make = Document.prototype.createElement;
    Document.prototype.createElement = function (tag, ...options) {
        if (String(tag).toLowerCase() !== "style")
            return make.call(this, tag, ...options);
        const holder = make.call(this, "template");
        holder.dataset.style = "";
        return holder;
    };
    new MutationObserver(follow).observe(document.documentElement, { subtree: true, childList: true, characterData: true });
}
