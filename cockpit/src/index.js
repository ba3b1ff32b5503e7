// The head-end page: one tab per line the box serves, each with its own connection to that
// line's agent, opened when the tab is first shown.
import { el } from "./dom.js";
import { findLines } from "./lines.js";
import { LinePage } from "./linepage.js";

const tabs = document.getElementById("lines");
const pages = document.getElementById("line-pages");
const finding = document.getElementById("finding");

function select(entries, chosen) {
    for (const entry of entries) {
        const on = entry === chosen;
        entry.tab.setAttribute("aria-selected", String(on));
        entry.tab.tabIndex = on ? 0 : -1;
        entry.page.element.hidden = !on;
    }
    if (!chosen.opened) {
        chosen.opened = true;
        chosen.page.open();
    }
}

// Arrow keys move between the tabs, as in any tab list.
function onTabKey(event, entries) {
    const step = { ArrowRight: 1, ArrowLeft: -1 }[event.key];
    if (!step)
        return;
    const at = entries.findIndex(entry => entry.tab === event.target);
    const next = entries[(at + step + entries.length) % entries.length];
    select(entries, next);
    next.tab.focus();
}

function show(lines) {
    const entries = lines.map(line => {
        const page = new LinePage(line);
        const tab = el("button", { type: "button", role: "tab", id: `tab-${line.name}`,
                                   "aria-controls": `page-${line.name}`, text: line.name });
        page.element.id = `page-${line.name}`;
        page.element.setAttribute("role", "tabpanel");
        page.element.setAttribute("aria-labelledby", tab.id);
        return { line, page, tab, opened: false };
    });
    for (const entry of entries) {
        entry.tab.addEventListener("click", () => select(entries, entry));
        entry.tab.addEventListener("keydown", event => onTabKey(event, entries));
        tabs.append(entry.tab);
        pages.append(entry.page.element);
    }
    select(entries, entries[0]);
}

async function start() {
    try {
        const { folder, lines } = await findLines();
        if (lines.length === 0) {
            finding.textContent = `No agent runs on this box (no socket in ${folder}).`;
            return;
        }
        finding.remove();
        show(lines);
    } catch (error) {
        finding.textContent = `The lines cannot be listed: ${error.message || error.problem}`;
    }
}

start();
