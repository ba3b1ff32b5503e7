// The two subracks of 16 slots, as the windows show them after a scan: each slot with its
// module's type, green when its diagnostic bytes are clear and red otherwise ("-" for an
// empty slot, "?" before the first scan). The colour has a second cue beside it, the word
// orvex-cli uses for the state, so that it does not rest on colour alone.
import { el } from "./dom.js";

export const SUBRACKS = 2;
export const SLOTS = 16;

// A slot is a button once a module has answered there: pressing it opens the module's panel.
function slotElement(subrack, slot, select) {
    const button = el("button", { type: "button", disabled: true, "aria-pressed": "false",
                                  onclick: () => select(subrack, slot) },
                      el("span", { class: "number", text: String(slot + 1) }),
                      el("span", { class: "type", text: "?" }),
                      el("span", { class: "cue" }));
    return el("li", { class: "slot", "data-module": `${subrack + 1}/${slot + 1}` }, button);
}

export class SubrackView {
    // select(subrack, slot): a slot's button was pressed.
    constructor(select) {
        this.slots = [];
        this.element = el("div", { class: "subracks" });
        for (let g = 0; g < SUBRACKS; g++) {
            const row = [];
            const list = el("ol", { class: "slots", "aria-labelledby": `subrack-${g + 1}` });
            for (let s = 0; s < SLOTS; s++) {
                row.push(slotElement(g, s, select));
                list.append(row[s]);
            }
            this.slots.push(row);
            this.element.append(el("section", { class: "subrack" },
                                   el("h2", { id: `subrack-${g + 1}`, text: `Subrack #${g + 1}` }),
                                   list));
        }
    }

    // "Scan" takes the colours away and releases the buttons; the types stay until the scan
    // rewrites them.
    clearStates() {
        for (const row of this.slots)
            for (const slot of row)
                this.show(slot, slot.querySelector(".type").textContent, null);
        this.press(-1, -1);
    }

    // The selected slot's button stays down; every other one is up.
    press(subrack, slot) {
        this.slots.forEach((row, g) => row.forEach((item, s) =>
            item.firstChild.setAttribute("aria-pressed", String(g === subrack && s === slot))));
    }

    empty(subrack, slot) {
        this.show(this.slots[subrack][slot], "-", null);
    }

    // typeName as the module gives it; fault: the record's diagnostic fault.
    found(subrack, slot, typeName, fault) {
        this.show(this.slots[subrack][slot], typeName.trim(), fault);
    }

    show(slot, caption, fault) {
        slot.querySelector(".type").textContent = caption;
        slot.querySelector(".cue").textContent = fault === null ? "" : fault ? "FAULT" : "OK";
        slot.classList.toggle("healthy", fault === false);
        slot.classList.toggle("faulty", fault === true);
        slot.classList.toggle("empty", caption === "-");
        slot.firstChild.disabled = fault === null;
    }
}
