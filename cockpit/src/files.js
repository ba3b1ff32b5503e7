// The windows' "File" menu on the page: Save Config and Save Module as a download, Load
// Config and Load Module from a file the browser gives, Compare with file. The agent's engine
// does the work: the saves and loads are the windows' own (session.save.v1, session.load.v1),
// what a load would write and what differs is orvex-cli's diff --json, a row put back is its
// set. Nothing of a file is read here.
import { el } from "./dom.js";
import { download, fromBase64 } from "./download.js";

const COMPARING = "Comparing with file. Wait...";
const SELECT_FIRST = "You must select module at first";
const CHANNEL = 0; // the parameter that selects a multi-channel module's channel
// Image modules: their EEPROM image is read in a special mode that ends with a reset.
const imageKind = kind => kind === "T" || kind === "U";

function today() {
    const now = new Date();
    const two = n => String(n).padStart(2, "0");
    return `${now.getFullYear()}-${two(now.getMonth() + 1)}-${two(now.getDate())}`;
}

function toBase64(bytes) {
    let text = "";
    for (let i = 0; i < bytes.length; i += 0x8000)
        text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(text);
}

// As the engine tells them apart: ".mst" in any letter case is a module settings file.
const isModuleFile = name => /\.mst$/i.test(name);
const moduleName = ([subrack, slot]) => `${subrack + 1}/${slot + 1}`;
const modules = n => (n === 1 ? "1 module" : `${n} modules`);

// The comparison window's words: its summary and the line beside "Load this file".
function summary(name, against, diff) {
    const n = diff.differences;
    const count = n === 0 ? "no differences" : n === 1 ? "1 difference" : `${n} differences`;
    return `${name}: ${count} from ${against}.` + (diff.notRead ? " EEPROM images not compared." : "");
}

function loadLine(diff) {
    if (diff.differing.length === 0)
        return "Nothing to load: no module differs.";
    return diff.written === "" ? "Loading writes no module; it names those that do not fit the file."
        : `Loading writes only the modules that differ; each restarts after it: ${diff.written}.`;
}

// One modal box at a time: ask() shows it and resolves to the name of the button that
// closed it ("close" for Escape).
class Dialog {
    constructor(id) {
        this.heading = el("h2", { id });
        this.body = el("div");
        this.element = el("dialog", { class: "file-dialog", "aria-labelledby": id }, this.heading, this.body);
        this.element.addEventListener("close", () => this.done?.(this.element.returnValue || "close"));
    }

    ask(title, ...nodes) {
        this.heading.textContent = title;
        this.body.replaceChildren(...nodes);
        this.element.returnValue = "";
        this.element.showModal();
        return new Promise(resolve => { this.done = resolve; });
    }

    button(name, text, attributes = {}) {
        return el("button", { type: "button", text, ...attributes, onclick: () => this.element.close(name) });
    }
}

export class FileCommands {
    // page: the line's page (its agent, status line, log, panel and scan).
    constructor(page) {
        this.page = page;
        this.dialog = new Dialog(`line-${page.line.name}-file`);
        this.chooser = el("input", { type: "file", hidden: true, onchange: () => this.chosen() });
        const button = (text, run) => el("button", { type: "button", disabled: true, text, onclick: () => this.run(run) });
        this.buttons = [
            button("Save Config", () => this.saveConfig()),
            button("Load Config", () => this.choose(".mmh", file => this.review(file, null, false))),
            button("Save Module", () => this.saveModule()),
            button("Load Module", () => this.choose(".mst", file => this.review(file, this.openModule(), false))),
            button("Compare with file…", () => this.choose(".mmh,.mst", file => this.review(
                file, isModuleFile(file.name) ? this.openModule() : null, true))),
        ];
        this.element = el("div", { class: "file-commands" }, ...this.buttons, this.chooser, this.dialog.element);
    }

    enable(on) {
        this.buttons.forEach(b => { b.disabled = !on; });
    }

    // One command at a time; what went wrong goes to the log as the windows' message would.
    async run(command) {
        this.enable(false);
        try {
            await command();
        } catch (error) {
            this.message(error.message, true);
        } finally {
            this.enable(this.page.agent.closedWith === null);
        }
    }

    message(text, error) {
        this.page.hostCall({ call: "message", text, error });
    }

    // The module whose panel is open, as a module file's commands need one.
    openModule() {
        const panel = this.page.panel.element;
        return panel.hidden ? null : panel.dataset.module;
    }

    // The browser's file dialog; then(file) with its name and bytes once one is picked.
    choose(accept, then) {
        if (accept === ".mst" && !this.openModule())
            return this.message(SELECT_FIRST, true);
        this.chooser.accept = accept;
        this.chooser.value = "";
        this.then = then;
        this.chooser.click();
    }

    async chosen() {
        const [picked] = this.chooser.files;
        if (!picked)
            return;
        const data = toBase64(new Uint8Array(await picked.arrayBuffer()));
        await this.run(() => this.then({ name: picked.name, data }));
    }

    // Reading an image module's image ends with its reset: the user says yes first.
    async restartsAgreed(images, what) {
        if (images.length === 0)
            return true;
        const text = images.length === 1
            ? `${what} reads the EEPROM image of ${images[0]}: the module restarts, and its service drops for a moment.`
            : `${what} reads the EEPROM images of ${images.join(", ")}: each of these modules restarts, and ` +
                "its service drops for a moment.";
        return await this.dialog.ask("Image modules restart", el("p", { text }),
                                     el("div", { class: "buttons" }, this.dialog.button("ok", "Save"),
                                        this.dialog.button("close", "Cancel", { autofocus: true }))) === "ok";
    }

    async saveConfig() {
        const scanned = await this.page.agent.command("scan", [], ["--json"]);
        if (scanned.status > 1 || scanned.out === "")
            return this.message(scanned.err.trim(), true);
        const found = JSON.parse(scanned.out).slots.filter(s => s.present);
        if (found.length === 0)
            return this.message("Unknown configuration. Rescan system.", false);
        const images = found.filter(s => imageKind(s.kind)).map(s => `${s.module} ${s.type.trim()}`);
        if (await this.restartsAgreed(images, "Saving the configuration"))
            await this.save(`${this.page.line.name}-headend-${today()}.mmh`, null, modules(found.length));
    }

    async saveModule() {
        const name = this.openModule();
        if (!name)
            return this.message(SELECT_FIRST, true);
        const record = await this.page.showModule(name);
        if (!record)
            return;
        const type = record.type.trim();
        const images = imageKind(record.kind) ? [`${name} ${type}`] : [];
        const file = `${this.page.line.name}-${name.replace("/", "-")}-${type.replace(/[^\w.-]+/g, "_")}-${today()}.mst`;
        if (await this.restartsAgreed(images, `Saving module ${name}`))
            await this.save(file, name.split("/").map(n => Number(n) - 1), `module ${name}`);
    }

    // The windows' save at the agent; the file comes back and the browser keeps it.
    async save(file, module, what) {
        const params = module ? { file, module } : { file };
        const saved = await this.page.agent.call("session.save.v1", params, (method, p) =>
            method === "host.v1" && this.page.hostCall(p));
        saved.notBack.forEach(line => this.page.log.message(line, true));
        if (saved.status === 3)
            return this.page.log.message(`Did not save ${file}`, true);
        download(saved.file, fromBase64(saved.data));
        this.page.log.message(`Saved ${saved.file}: ${what}` +
            (saved.status === 1 ? ", with ERROR lines for what could not be read" : ""), saved.status !== 0);
    }

    // diff --json of the file against the head-end (at: against that module); null when it
    // cannot be compared, said in the log.
    async diff(file, at, images) {
        this.page.setStatus(COMPARING);
        const compared = await this.page.agent.command("diff", [...(at ? [at] : []), `@0/${file.name}`],
                                                       ["--json", ...(images ? ["--images"] : [])], {
            folders: [{ path: "", exists: true, writable: false, files: { [file.name]: file.data } }],
        });
        if (compared.status > 1 || compared.out === "") {
            this.message(compared.err.trim(), true);
            return null;
        }
        const diff = JSON.parse(compared.out);
        this.page.setStatus(summary(file.name, at ? `module ${at}` : "the head-end", diff));
        return diff;
    }

    // The comparison window: what differs, and what a load of the file writes and restarts.
    // Loading asks OK first; comparing ticks rows to restore. The images are read (their
    // modules restart) only when the box naming those modules is ticked.
    async review(file, at, comparing) {
        if (isModuleFile(file.name) && !at)
            return this.message(SELECT_FIRST, true);
        if (at && !isModuleFile(file.name))
            return this.message(`${file.name} is not a module settings file (*.mst).`, true);
        let images = false;
        for (;;) {
            const diff = await this.diff(file, at, images);
            if (!diff)
                return;
            const ticked = [];
            const restore = this.dialog.button("restore", "Restore", { disabled: true });
            const table = this.table(diff, comparing && (row => {
                ticked.push(row);
                return () => { restore.disabled = !ticked.some(r => r.box.checked); };
            }));
            const nodes = [el("p", { text: summary(file.name, at ? `module ${at}` : "the head-end", diff) }), table];
            if (diff.notRead && !images)
                nodes.push(el("label", { class: "images" },
                              el("input", { type: "checkbox", onchange: () => this.dialog.element.close("images") }),
                              ` Compare the EEPROM images too (reading an image restarts its module: ${diff.notRead})`));
            nodes.push(el("p", { class: "load-line", text: loadLine(diff) }));
            const canLoad = diff.differing.length > 0;
            const buttons = comparing
                ? [restore, this.dialog.button("load", "Load this file", { disabled: !canLoad }),
                   this.dialog.button("close", "Close", { autofocus: true })]
                : [this.dialog.button("load", "OK", { disabled: !canLoad }),
                   this.dialog.button("close", "Cancel", { autofocus: true })];
            const choice = await this.dialog.ask(comparing ? "Compare with file" : at ? "Load Module" : "Load Config",
                                                 ...nodes, el("div", { class: "buttons" }, ...buttons));
            if (choice === "images") {
                images = true;
            } else if (choice === "restore") {
                await this.restore(ticked.filter(r => r.box.checked));
                images = false;
            } else {
                return choice === "load" ? this.load(file, at, diff) : this.page.setStatus("");
            }
        }
    }

    // The differences as the windows list them, with the head-end's value before the file's;
    // tick(row), when given, makes a value row restorable and returns its box's change handler.
    table(diff, tick) {
        const headings = [...(tick ? ["Restore"] : []), "Module", "Parameter", "Head-end", "File"];
        const body = el("tbody");
        for (const m of diff.modules) {
            m.rows.forEach((row, i) => {
                const param = m.outcome === "values" ? m.params[i] : null;
                const cells = [row.module, row.what, row.b, row.a];
                if (tick) {
                    const box = param && param.a !== null &&
                        el("input", { type: "checkbox", "aria-label": `Restore ${row.module} ${row.what}` });
                    if (box)
                        box.addEventListener("change", tick({ box, module: m.module, multiChannel: m.multiChannel, ...param }));
                    cells.unshift(box || "");
                }
                // A narrow screen shows each row as a card, its cells labelled.
                body.append(el("tr", {}, ...cells.map((cell, c) => el("td", { "data-label": headings[c] }, cell))));
            });
        }
        return el("table", { class: "differences" },
                  el("thead", {}, el("tr", {}, ...headings.map(text => el("th", { scope: "col", text })))), body);
    }

    // The file's values of the ticked rows, each written and committed by orvex-cli's set; a
    // multi-channel module's channel is selected for its rows and then set back as it was.
    async restore(rows) {
        const agent = this.page.agent;
        const set = async (module, index, raw) => {
            const written = await agent.command("set", [module, String(index), String(raw)]);
            this.page.log.message((written.out + written.err).trim(), written.status !== 0);
        };
        for (const module of new Set(rows.map(r => r.module))) {
            const own = rows.filter(r => r.module === module);
            let selected = null;
            if (own[0].multiChannel) { // the channel it shows now, to be selected again at the end
                const shown = await agent.command("show", [module], ["--json"]);
                if (shown.out === "") {
                    this.page.log.message(shown.err.trim(), true);
                    continue;
                }
                selected = JSON.parse(shown.out).params[CHANNEL].raw;
            }
            let channel = selected;
            for (const row of own) {
                if (row.multiChannel && row.channel - 1 !== channel)
                    await set(module, CHANNEL, channel = row.channel - 1);
                await set(module, row.index, row.a);
            }
            if (selected !== null && channel !== selected)
                await set(module, CHANNEL, selected);
        }
        const open = this.openModule();
        if (open && rows.some(r => r.module === open))
            await this.page.showModule(open);
    }

    // The windows' load of the modules that differ (a module file: onto its module), then the
    // head-end read again and held against the file, as the windows check a load.
    async load(file, at, diff) {
        const params = at ? { file: file.name, data: file.data, moduleFile: true, at: at.split("/").map(n => Number(n) - 1) }
            : { file: file.name, data: file.data, moduleFile: false, only: diff.differing };
        const loaded = await this.page.agent.call("session.load.v1", params, (method, p) =>
            method === "host.v1" && this.page.hostCall(p));
        loaded.notBack.forEach(line => this.page.log.message(line, true));
        if (loaded.status === 3)
            return this.page.log.message(`Did not load ${file.name}: the file does not fit the head-end as ` +
                                         "scanned, or cannot be read", true);
        if (at)
            await this.page.showModule(at);
        else
            await this.page.scan();
        const written = loaded.written.map(moduleName);
        const after = await this.diff(file, at, false);
        if (!after)
            return;
        const kept = after.modules.filter(m => written.includes(m.module) && m.outcome !== "imageNotRead");
        let text = `Loaded ${file.name} into ${modules(written.length)}`;
        text += kept.length === 0 ? ", verified" : `; ${modules(kept.length)} did not keep a value`;
        if (loaded.images.length > 0)
            text += `; the images of ${loaded.images.map(moduleName).join(", ")} not read back`;
        this.page.log.message(text, kept.length > 0);
        if (kept.length > 0)
            this.message(after.lines.filter(line => kept.some(m => line.startsWith(`Module ${m.module} `))).join("\n"), true);
    }
}
