// One line of the box: its agent, the two subracks, "Scan" with its progress, the status line
// and the message log. The scan is the windows program's, run by the agent (session.scan.v1):
// the status texts, the progress and every slot's record come as it goes.
import { ModuleActions } from "./actions.js";
import { Agent } from "./agent.js";
import { SupportBundle } from "./bundle.js";
import { ConsoleView } from "./console.js";
import { el } from "./dom.js";
import { FileCommands } from "./files.js";
import { LiveValues } from "./live.js";
import { LineMonitor } from "./linemonitor.js";
import { MessageLog } from "./messagelog.js";
import { ModulePanel } from "./panel.js";
import { SubrackView } from "./subracks.js";

export class LinePage {
    constructor(line) {
        this.line = line;
        this.changing = 0; // changes of this page's under way
        this.commitTimer = null;
        this.subracks = new SubrackView((g, s) => this.select(g, s));
        this.panel = new ModulePanel(`line-${line.name}`, (param, value, control) => this.change(param, value, control),
                                     (param, up) => this.step(param, up),
                                     record => this.console.open(record.module, record.type.trim()));
        this.log = new MessageLog();
        this.live = new LiveValues(this.panel, params => this.agent.call("measured.v1", params),
                                   () => this.changing > 0 || this.commitTimer !== null, this.log);
        this.actions = new ModuleActions(`line-${line.name}`, {
            agent: () => this.agent, run: work => this.asChange(work), reread: name => this.showModule(name),
            seen: (module, type, fault) => this.slotSeen({ module, present: true, type, fault }), log: this.log });
        this.panel.heading.after(this.actions.element);
        this.scanButton = el("button", { type: "button", class: "scan", disabled: true,
                                         text: "Scan", onclick: () => this.scan() });
        this.progress = el("progress", { max: 32, value: 0, hidden: true, "aria-label": "Scan" });
        this.statusLine = el("output", { class: "status-line", role: "status" });
        this.problem = el("p", { class: "problem", role: "alert", hidden: true });
        // A message of the windows' message boxes, until the user takes note of it.
        this.noticeText = el("span");
        this.notice = el("div", { class: "notice", role: "alert", hidden: true }, this.noticeText,
                         el("button", { type: "button", text: "OK", onclick: () => { this.notice.hidden = true; } }));
        this.who = el("p", { class: "who" });
        this.files = new FileCommands(this);
        // Shown once the agent has answered: a line that cannot be reached shows only why.
        this.body = el("div", { hidden: true },
                       el("div", { class: "toolbar" }, this.scanButton, this.progress),
                       this.notice, this.subracks.element, this.panel.element, this.files.element, this.statusLine,
                       this.log.element);
        this.element = el("section", { class: "line-page" }, this.problem, this.who, this.body);
        this.body.append(...this.actions.dialogs);
    }

    async open() {
        this.agent = new Agent(this.line.socket);
        this.agent.onEvent = event => this.heard(event);
        this.agent.onClose = error => this.lost(error);
        this.addTools();
        try {
            const hello = this.hello = await this.agent.call("hello.v1");
            this.who.textContent = `Line ${hello.line}, agent ${hello.agent}, you are ${hello.user}`;
            this.body.hidden = false;
            this.scanButton.disabled = false;
            this.files.enable(true);
            // What the agent has seen so far, until the user scans.
            const known = await this.agent.call("headend.v1");
            if (known.scanned)
                known.slots.forEach(slot => this.slotSeen(slot));
            await this.monitor.start();
        } catch (error) {
            this.lost(error);
        }
    }

    // The console, the line monitor and the support bundle, on this line's agent.
    addTools() {
        const said = (text, error) => (error ? this.log.message(text, true) : this.setStatus(text));
        this.console = new ConsoleView(`line-${this.line.name}`, this.agent, said, this.panel.consoleButton);
        this.monitor = new LineMonitor(this.agent, this.line.name);
        this.bundle = new SupportBundle(this.agent, () => ({
            site: this.line.name, port: this.hello.line, version: `agent ${this.hello.agent}`, log: this.log.text(),
        }), said);
        this.panel.element.after(this.console.element);
        this.log.element.before(this.monitor.element, this.bundle.element);
    }

    setStatus(text) {
        this.statusLine.value = text;
        this.log.status(text);
    }

    async scan() {
        this.scanButton.disabled = true;
        this.subracks.clearStates();
        this.panel.close();
        this.progress.value = 0;
        this.progress.hidden = false;
        try {
            await this.agent.call("session.scan.v1", {}, (method, params) =>
                method === "view.v1" ? this.viewCall(params) : method === "host.v1" && this.hostCall(params));
        } catch (error) {
            this.log.message(error.message, true);
            this.setStatus(error.message);
        } finally {
            this.progress.hidden = true;
            this.scanButton.disabled = this.agent.closedWith !== null;
        }
    }

    // The windows' selection: the module's panel, drawn from what the agent reads of it now.
    async select(subrack, slot) {
        this.subracks.press(subrack, slot);
        if (await this.showModule(`${subrack + 1}/${slot + 1}`))
            this.setStatus(`Module #${slot + 1} selected`);
    }

    // The module's record as drawn, or null when it could not be read.
    async showModule(name) {
        try {
            const shown = await this.agent.command("show", [name], ["--json"]);
            // A module in trouble (exit status 1) has its record and panel too.
            if (shown.out) {
                const record = JSON.parse(shown.out);
                this.panel.draw(record);
                this.actions.show(record);
                this.live.watch(record.module);
                return record;
            }
            this.log.message(shown.err.trim(), true);
        } catch (error) {
            this.log.message(error.message, true);
        }
        this.panel.close();
        return null;
    }

    // A list's new entry (a raw value) or a typed number (its text, which the engine converts):
    // written and committed at once (orvex-cli's set), then the panel shows what the module
    // holds. A write refused, or acknowledged by a module that kept another entry, leaves the
    // control red.
    async change(param, value, control) {
        this.changing++;
        control.disabled = true;
        const name = control.closest(".panel").dataset.module;
        const typed = typeof value === "string";
        let said;
        let refused = true;
        try {
            const written = await this.agent.command("set", [name, String(param.index), ...(typed ? [] : [String(value)])],
                                                     typed ? ["--shown", value] : []);
            said = (written.out + written.err).trim();
            refused = written.status !== 0;
        } catch (error) {
            said = error.message;
        }
        const held = (await this.showModule(name))?.params[param.index].raw;
        this.changing--;
        refused ||= !typed && held !== value;
        this.log.message(said, refused);
        const shown = this.panel.control(param.index);
        shown?.classList.toggle("refused", refused);
        shown?.focus();
    }

    // The windows' spin box: each step written at once; the commit 500 ms after the last one
    // answered, so that a burst of steps ends in one commit. A step the module refused shows
    // red, and the panel then shows what the module holds.
    async step(param, up) {
        clearTimeout(this.commitTimer);
        const name = this.panel.element.dataset.module;
        this.changing++;
        try {
            const { written, param: now } = await this.agent.call("step.v1", { module: name, index: param.index, up });
            this.panel.showValue(param.index, now.shown, !written);
            if (!written) {
                this.log.message(`Module ${name} parameter ${param.index} (${param.name}) refused the value.`, true);
                await this.showModule(name);
                this.panel.control(param.index)?.classList.add("refused");
            }
        } catch (error) {
            this.log.message(error.message, true);
        } finally {
            this.changing--;
        }
        clearTimeout(this.commitTimer); // a step answered meanwhile set it too
        this.commitTimer = setTimeout(() => this.commit(name), 500);
    }

    async commit(name) {
        this.commitTimer = null;
        this.changing++;
        try {
            const { committed } = await this.agent.call("commit.v1", { module: name });
            if (!committed)
                this.log.message(`Module ${name} did not confirm the EEPROM commit.`, true);
        } catch (error) {
            this.log.message(error.message, true);
        } finally {
            this.changing--;
        }
    }

    async asChange(work) {
        this.changing++;
        try {
            await work();
        } finally {
            this.changing--;
        }
    }

    viewCall({ call, subrack, slot, record, text }) {
        if (call === "empty")
            this.subracks.empty(subrack, slot);
        else if (call === "found")
            this.subracks.found(subrack, slot, record.typeName, record.diagFault);
        else if (call === "missing")
            this.log.message(text, false);
    }

    hostCall({ call, text, error, value, max }) {
        if (call === "status") {
            this.setStatus(text);
        } else if (call === "message") {
            this.log.message(text, error);
            this.noticeText.textContent = text;
            this.notice.classList.toggle("error", error);
            this.notice.hidden = false;
        } else if (call === "progress" && max > 0) {
            this.progress.max = max;
            this.progress.value = value;
        }
    }

    // What the agent tells every client: a module's health, the line lost or back.
    heard(event) {
        if (event.kind === "module") {
            this.slotSeen(event);
        } else if (event.kind === "line") {
            this.log.message(event.up ? "The line is back." : `The line is down: ${event.reason}`, !event.up);
        } else if (event.kind === "change") {
            this.log.message(`${event.command} by ${event.user}: exit status ${event.status}`, false);
            // Another client changed the module on show: the panel shows what it holds now. A
            // command names it after its own name ("set 1/6 0 22"), the lent line first
            // ("1/6 write parameter 0 = 22").
            const module = event.command.split(" ").find(word => /^[12]\/\d+$/.test(word));
            if (!this.changing && !this.panel.element.hidden && this.panel.element.dataset.module === module)
                this.showModule(module);
        }
    }

    slotSeen({ module, present, type, fault }) {
        const [g, s] = module.split("/").map(n => Number(n) - 1);
        if (present)
            this.subracks.found(g, s, type, fault);
        else
            this.subracks.empty(g, s);
    }

    lost(error) {
        this.problem.textContent = `${this.line.socket}: ${error.message}`;
        this.problem.hidden = false;
        this.scanButton.disabled = true;
        this.files.enable(false);
    }
}
