// An open panel's measured values, read again every few seconds as the windows do ("Live
// values", 5 s by default), and beside each number its lowest and highest of the last 30
// minutes with a small trend. The agent keeps the trend (measured.v1): its polls read the
// values too, so a page opened later shows what happened before it, whoever had the panel
// open. Nothing is read while the page is hidden, the panel closed, or a write of the page's
// own under way.
import { el } from "./dom.js";

const INTERVAL_MS = 5000;
const SVG = "http://www.w3.org/2000/svg";

function svg(tag, attributes = {}, ...children) {
    const node = document.createElementNS(SVG, tag);
    for (const [name, value] of Object.entries(attributes))
        node.setAttribute(name, value);
    node.append(...children);
    return node;
}

// The 30 s periods, oldest first, each null or [lowest, highest]: a line from each period's
// highest to its lowest, on to the next period's; a gap where none was read.
function trendPath(buckets) {
    const known = buckets.filter(Boolean).flat();
    const lo = Math.min(...known);
    const span = Math.max(...known) - lo;
    const y = v => (span === 0 ? 8 : 15 - (14 * (v - lo)) / span).toFixed(1);
    let d = "";
    let joined = false;
    buckets.forEach((bucket, i) => {
        if (!bucket) {
            joined = false;
            return;
        }
        d += `${joined ? "L" : "M"}${i + 0.5} ${y(bucket[1])}L${i + 0.5} ${y(bucket[0])}`;
        joined = true;
    });
    return d;
}

export class LiveValues {
    // read(params): the agent's measured.v1; busy(): a change of the page's is under way.
    constructor(panel, read, busy, log) {
        this.panel = panel;
        this.read = read;
        this.busy = busy;
        this.log = log;
        this.timer = null;
        this.watched = null; // { module } while the panel shows one
        this.trends = new Map(); // by parameter index
        this.failure = "";
    }

    // The panel was just drawn from what the module holds: its trends at once (from what the
    // agent has read before), its values read again an interval later.
    watch(module) {
        clearTimeout(this.timer);
        this.trends.clear();
        const watched = { module };
        this.watched = watched;
        this.ask(watched, false);
    }

    async ask(watched, read) {
        let answer;
        try {
            answer = await this.read({ module: watched.module, read });
            this.failure = "";
        } catch (error) {
            // Said once, however many reads it stops.
            if (error.message !== this.failure)
                this.log.message(error.message, true);
            this.failure = error.message;
        }
        if (watched !== this.watched)
            return; // the panel was drawn again meanwhile
        if (answer)
            this.show(answer);
        if (answer && !answer.params.some(p => this.panel.control(p.index)))
            return; // none shown (nothing measured, or a module without a panel): no more reads
        this.timer = setTimeout(() => this.tick(watched), INTERVAL_MS);
    }

    tick(watched) {
        const element = this.panel.element;
        if (watched !== this.watched || element.hidden)
            return; // drawn again (its watch has begun), or closed
        if (document.visibilityState !== "visible" || !element.checkVisibility() || this.busy())
            this.timer = setTimeout(() => this.tick(watched), INTERVAL_MS);
        else
            this.ask(watched, true);
    }

    show({ changed, params }) {
        for (const index of changed)
            this.panel.showValue(index, params.find(p => p.index === index).shown, false);
        for (const param of params)
            if (param.trend)
                this.showTrend(param);
    }

    showTrend({ index, trend }) {
        const control = this.panel.control(index);
        if (!control)
            return;
        let shown = this.trends.get(index);
        if (!shown) {
            shown = { path: svg("path"), range: el("span", { class: "range" }) };
            // 60 periods on 60 px, as wide as the style sheet draws it.
            const picture = svg("svg", { viewBox: "0 0 60 16", "aria-hidden": "true" }, shown.path);
            control.after(el("div", { class: "trend", title: "The last 30 minutes" }, picture, shown.range));
            this.trends.set(index, shown);
        }
        shown.path.setAttribute("d", trendPath(trend.buckets));
        shown.range.textContent = `min ${trend.min}  max ${trend.max} (30 min)`;
    }
}
