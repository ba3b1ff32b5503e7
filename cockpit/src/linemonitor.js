// The windows' line monitor, in the page: every frame on the agent's line (its own scans and
// polls, every client's commands, the lent line) with its time, direction, bytes and meaning
// as the agent names them (monitor.v1: the frames it kept, then each one as it comes). Filters
// by kind and by module, "Pause" (no new rows until it is released), "Clear", "Save trace"
// (the lines of orvex-cli --trace, as the agent formats them).
import { el } from "./dom.js";
import { download, stamp } from "./download.js";
import { SLOTS, SUBRACKS } from "./subracks.js";

// frameKindName's words, in the windows' order.
const KINDS = ["Selects", "Reads", "Writes and commits", "Special commands", "Module pages", "Console",
    "Replies", "No answer, time-outs"];

// The trace file of frames: the agent's lines, the decoder's notes left out.
export function traceText(frames) {
    return frames.map(f => f.trace).filter(line => line !== "").map(line => `${line}\n`).join("");
}

export class LineMonitor {
    static MAX_FRAMES = 2000;

    constructor(agent, lineName) {
        this.agent = agent;
        this.lineName = lineName;
        this.frames = []; // the newest last, shown or not
        this.kinds = KINDS.map(kind => el("input", { type: "checkbox", checked: true, value: kind,
                                                      onchange: () => this.render() }));
        this.module = el("select", { "aria-label": "Module", onchange: () => this.render() },
                         el("option", { value: "", text: "All modules" }));
        for (let g = 1; g <= SUBRACKS; g++)
            for (let s = 1; s <= SLOTS; s++)
                this.module.append(el("option", { value: `${g}/${s}`, text: `${g}/${s}` }));
        this.pause = el("button", { type: "button", text: "Pause", "aria-pressed": "false",
                                    onclick: () => this.togglePause() });
        this.rows = el("tbody");
        this.element = el("details", { class: "line-monitor" },
            el("summary", { text: "Line monitor" }),
            el("fieldset", { class: "kinds" }, el("legend", { text: "Kinds" }),
               ...this.kinds.map(box => el("label", {}, box, ` ${box.value}`))),
            el("div", { class: "toolbar" }, this.module, this.pause,
               el("button", { type: "button", text: "Clear", onclick: () => { this.frames = []; this.render(); } }),
               el("button", { type: "button", text: "Save trace", onclick: () => this.save() })),
            this.box = el("div", { class: "frames" },
               el("table", {}, el("thead", {}, el("tr", {}, ...["Time", "", "Bytes", "Meaning"].map(
                   (name, at) => el("th", { scope: "col", text: name, "aria-label": at === 1 ? "Direction" : undefined })))),
                  this.rows)));
        this.element.addEventListener("toggle", () => this.scrollToEnd());
    }

    // The newest row in sight, as in the windows, unless the user scrolled back.
    scrollToEnd() {
        this.box.scrollTop = this.box.scrollHeight;
    }

    async start() {
        this.agent.listen("monitor.frame.v1", frame => this.add(frame));
        const { frames } = await this.agent.call("monitor.v1", { last: LineMonitor.MAX_FRAMES });
        // Frames told while the answer was on its way follow the kept ones.
        this.frames = [...frames, ...this.frames].slice(-LineMonitor.MAX_FRAMES);
        this.render();
    }

    paused() {
        return this.pause.getAttribute("aria-pressed") === "true";
    }

    togglePause() {
        this.pause.setAttribute("aria-pressed", String(!this.paused()));
        this.render();
    }

    shown(frame) {
        const module = this.module.value;
        return this.kinds.some(box => box.checked && box.value === frame.kind) &&
            (module === "" || frame.module === module);
    }

    add(frame) {
        this.frames.push(frame);
        if (this.frames.length > LineMonitor.MAX_FRAMES) {
            const gone = this.frames.shift();
            if (this.rows.firstElementChild?.frame === gone)
                this.rows.firstElementChild.remove();
        }
        if (this.paused() || !this.shown(frame))
            return;
        const atEnd = this.box.scrollTop + this.box.clientHeight >= this.box.scrollHeight - 2;
        this.rows.append(this.row(frame));
        if (atEnd)
            this.scrollToEnd();
    }

    render() {
        if (this.paused())
            return;
        this.rows.replaceChildren(...this.frames.filter(f => this.shown(f)).map(f => this.row(f)));
        this.scrollToEnd();
    }

    row(frame) {
        const row = el("tr", { class: frame.kind === "No answer, time-outs" ? "fault" : undefined },
                       ...[frame.time, frame.dir, frame.bytes, frame.meaning].map(text => el("td", { text })));
        row.frame = frame;
        return row;
    }

    save() {
        download(`trace-${this.lineName}-${stamp()}.txt`, traceText(this.frames), "text/plain");
    }
}
