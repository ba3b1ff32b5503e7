// A module's control panel, drawn from the description the agent's engine gives (orvex-cli's
// show --json): a cell per parameter that is not hidden, its caption the parameter's name and
// units as the windows label it, its value as the engine shows it. Lists (and segmented and
// on/off values) are written and committed at once when changed, a number that may be typed
// when Enter is pressed (the engine converts what was typed); a number's step buttons are the
// windows' spin box.
import { el } from "./dom.js";

function caption(param) {
    return param.units ? `${param.name} ${param.units}` : param.name;
}

export class ModulePanel {
    // change(param, value, control): the user picked another entry of a list (value: its raw
    // value) or typed a number and pressed Enter (value: the text).
    // step(param, up): one of a number's step buttons was pressed.
    // terminal(record): "Console" was pressed on a console module's panel.
    constructor(prefix, change, step, terminal) {
        this.prefix = prefix;
        this.change = change;
        this.step = step;
        this.heading = el("h2", { id: `${prefix}-panel` });
        this.note = el("p", { class: "note" });
        this.consoleButton = el("button", { type: "button", text: "Console", hidden: true,
                                            onclick: () => terminal(this.record) });
        this.cells = el("div", { class: "cells" });
        this.element = el("section", { class: "panel", hidden: true, "aria-labelledby": this.heading.id },
                          this.heading, this.note, this.consoleButton, this.cells);
    }

    close() {
        this.element.hidden = true;
        this.cells.replaceChildren();
    }

    // record: show --json of one module. Modules with a console or pages of their own have no
    // panel in the windows either.
    draw(record) {
        this.record = record;
        this.element.dataset.module = record.module;
        this.heading.textContent = `Module ${record.module}: ${record.type.trim()} ${record.version}`;
        this.note.textContent = record.kind === "T"
            ? "A console module: \u201cConsole\u201d opens its terminal."
            : record.htmlPages ? `This module has pages of its own: orvex-cli pages ${record.module} serves them.`
                : "";
        this.consoleButton.hidden = record.kind !== "T";
        const params = this.note.textContent ? [] : record.params.filter(p => !p.hidden);
        this.cells.replaceChildren(...params.map(p => this.cell(p)));
        this.element.hidden = false;
    }

    // The control of the parameter numbered index, after a change.
    control(index) {
        return document.getElementById(`${this.prefix}-p${index}`);
    }

    cell(param) {
        const id = `${this.prefix}-p${param.index}`;
        const value = this.value(param, id);
        const spin = param.kindName === "number" && !param.readOnly;
        return el("div", { class: "cell" }, el("label", { for: id, text: caption(param) }),
                  spin ? el("div", { class: "spin" }, this.stepButton(param, false), value, this.stepButton(param, true))
                      : value);
    }

    stepButton(param, up) {
        return el("button", { type: "button", text: up ? "+" : "\u2212", "aria-label": `${caption(param)} ${up ? "up" : "down"}`,
                              onclick: () => this.step(param, up) });
    }

    // A number as the module took it, or not (red).
    showValue(index, shown, refused) {
        const control = this.control(index);
        if (!control)
            return;
        if (control.tagName === "INPUT")
            control.value = shown;
        else
            control.textContent = shown;
        control.classList.toggle("refused", refused);
    }

    value(param, id) {
        if (param.kindName === "error")
            return el("output", { id, class: "error-cell", text: "ERROR" });
        if (param.kindName === "number" && param.typable && !param.readOnly) {
            const typed = el("input", { id, type: "text", inputmode: "decimal", value: param.shown,
                                        onkeydown: event => event.key === "Enter" &&
                                            this.change(param, typed.value, typed) });
            return typed;
        }
        if (!param.entries || param.readOnly)
            return el("output", { id, text: param.kindName === "terminal" ? "(console)" : param.shown });
        const list = el("select", { id, onchange: () => this.change(param, Number(list.value), list) });
        list.append(...param.entries.map((entry, raw) => el("option", { value: String(raw), text: entry })));
        list.value = String(param.raw);
        return list;
    }
}
