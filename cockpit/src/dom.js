// Elements built in code: the page has no markup of its own beyond index.html, and no inline
// script or style (Cockpit's content security policy forbids both).
export function el(tag, attributes = {}, ...children) {
    const node = document.createElement(tag);
    for (const [name, value] of Object.entries(attributes)) {
        if (name === "text")
            node.textContent = value;
        else if (name.startsWith("on"))
            node.addEventListener(name.slice(2), value);
        else if (value !== false && value !== undefined)
            node.setAttribute(name, value === true ? "" : value);
    }
    node.append(...children);
    return node;
}
