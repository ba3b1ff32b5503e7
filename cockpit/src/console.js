// The console of a console module, in the page: the windows' VT100 terminal, worked by the
// agent at the module (console.v1), which sends each key when the module asks for one.
// Closing it ends the console at the module and gives the line back.
import { Terminal } from "@xterm/xterm";
import { el } from "./dom.js";
import { fromBase64 } from "./download.js";
import { adoptScriptStyles } from "./styles.js";

adoptScriptStyles();

export class ConsoleView {
    // said(text, error): for the status line and the message log; back: what has the focus
    // once the console has closed.
    constructor(prefix, agent, said, back) {
        this.agent = agent;
        this.said = said;
        this.back = back;
        this.terminal = null;
        this.heading = el("h2", { id: `${prefix}-console` });
        this.screen = el("div", { class: "console-screen" });
        this.closeButton = el("button", { type: "button", text: "Close console", onclick: () => this.close() });
        this.element = el("section", { class: "console", hidden: true, "aria-labelledby": this.heading.id },
                          this.heading, this.screen,
                          el("p", { class: "note", text: "Ctrl+] ends the console too, as in orvex-cli terminal." }),
                          this.closeButton);
        agent.listen("console.text.v1", ({ data }) => this.terminal?.write(fromBase64(data)));
        agent.listen("console.end.v1", ({ reason }) => this.ended(reason));
    }

    async open(module, type) {
        if (this.terminal)
            await this.close();
        this.module = module;
        this.heading.textContent = `Terminal ${module}: ${type}`;
        this.element.hidden = false;
        this.terminal = new Terminal({ cols: 80, rows: 24, scrollback: 2000, fontSize: 14,
                                       fontFamily: '"DejaVu Sans Mono", monospace' });
        this.terminal.open(this.screen);
        this.terminal.onData(data => this.agent.notify("console.keys.v1", { data }));
        try {
            await this.agent.call("console.v1", { module });
            this.said(`Console of module ${module} opened`, false);
            this.terminal.focus();
        } catch (error) {
            this.said(error.message, true);
            this.dispose();
        }
    }

    // Ends the console at the module; the agent says when it has (console.end.v1).
    close() {
        if (!this.terminal)
            return Promise.resolve();
        this.closing = new Promise(resolve => { this.closed = resolve; });
        this.agent.notify("console.close.v1");
        return this.closing;
    }

    ended(reason) {
        this.said(reason ? `The console of module ${this.module} ended: ${reason}`
            : `Console of module ${this.module} closed`, Boolean(reason));
        this.dispose();
        this.closed?.();
    }

    dispose() {
        if (this.element.contains(document.activeElement))
            this.back.focus();
        this.terminal?.dispose();
        this.terminal = null;
        this.element.hidden = true;
    }
}
