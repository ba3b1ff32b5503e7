// The module's service commands as the windows have them: "Diag" (the module's diagnostic
// report), "Reset module" and "Default params", the last two asked first in a dialog that
// names the module. orvex-cli runs them at the agent; what they say goes to the message log.
import { el } from "./dom.js";

const ASKS = {
    reset: (name, type) => ({
        question: `Reset module ${name} (${type})?`,
        detail: "It restarts and its service drops for a moment.",
    }),
    defaults: (name, type) => ({
        question: `Load the defaults into module ${name} (${type})?`,
        detail: "Its settings are replaced by the module's defaults.",
    }),
};

// A modal dialog: focus goes into it when it opens and back to the button that opened it when
// it closes (Escape closes it too).
function dialog(className, ...children) {
    const node = el("dialog", { class: `module-dialog ${className}` }, ...children);
    node.addEventListener("close", () => node.opener?.focus());
    return node;
}

export class ModuleActions {
    // agent(): the line's agent; run(work): work() as a change of the page's (no live reads
    // meanwhile); reread(name): the panel drawn again from what the module holds;
    // seen(module, type, fault): the diagnostic state the report found.
    constructor(prefix, { agent, run, reread, seen, log }) {
        Object.assign(this, { agent, run, reread, seen, log });
        this.record = null;
        const button = (text, onclick) => el("button", { type: "button", text, onclick });
        this.element = el("div", { class: "module-actions" },
                          button("Diag", event => this.diag(event.target)),
                          button("Reset module", event => this.ask("reset", event.target)),
                          button("Default params", event => this.ask("defaults", event.target)));
        this.question = el("p", { class: "question", id: `${prefix}-question` });
        this.detail = el("p", { id: `${prefix}-detail` });
        this.confirm = dialog("confirm", this.question, this.detail,
                              el("form", { method: "dialog", class: "buttons" },
                                 el("button", { value: "ok", text: "OK" }),
                                 el("button", { value: "cancel", text: "Cancel", autofocus: true })));
        this.confirm.setAttribute("aria-labelledby", this.question.id);
        this.confirm.setAttribute("aria-describedby", this.detail.id);
        this.reportTitle = el("h2", { id: `${prefix}-report` });
        this.reportState = el("span", { class: "cue" });
        this.report = el("pre", { class: "report", tabindex: "0" });
        this.reportDialog = dialog("diag", el("div", { class: "report-head" }, this.reportTitle, this.reportState),
                                   this.report,
                                   el("form", { method: "dialog", class: "buttons" }, el("button", { text: "Close" })));
        this.reportDialog.setAttribute("aria-labelledby", this.reportTitle.id);
        this.dialogs = [this.confirm, this.reportDialog]; // outside the panel, which may close
    }

    // The panel shows this module now.
    show(record) {
        this.record = record;
    }

    open(node, opener) {
        node.opener = opener;
        node.showModal();
    }

    async diag(opener) {
        const { module, type } = this.record;
        const done = await this.command("diag", module, ["--json"]);
        if (!done.out) // no report: why is in the log
            return this.log.message(done.err.trim(), true);
        const report = JSON.parse(done.out);
        const fault = report.diagnostic === "FAULT";
        this.reportTitle.textContent = `Module ${module} diagnostic`;
        this.reportState.textContent = report.diagnostic;
        this.reportDialog.classList.toggle("faulty", fault);
        this.report.textContent = report.lines.join("\n");
        this.seen(module, type, fault);
        this.open(this.reportDialog, opener);
    }

    // Reset or defaults once the user has said OK, then the panel read again; Cancel (or
    // Escape) sends nothing.
    ask(command, opener) {
        const { module, type } = this.record;
        const { question, detail } = ASKS[command](module, type.trim());
        this.question.textContent = question;
        this.detail.textContent = detail;
        this.confirm.returnValue = "";
        this.confirm.addEventListener("close", () => {
            if (this.confirm.returnValue === "ok")
                this.run(async () => {
                    const done = await this.command(command, module);
                    this.log.message((done.out + done.err).trim(), done.status !== 0);
                    await this.reread(module);
                });
        }, { once: true });
        this.open(this.confirm, opener);
    }

    async command(name, module, options = []) {
        try {
            return await this.agent().command(name, [module], options);
        } catch (error) {
            return { status: -1, out: "", err: error.message };
        }
    }
}
