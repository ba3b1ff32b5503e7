// What the page said for this line, with its time, as the windows' message log keeps it:
// every status text and message. A status that grows by appending stays one entry.
import { el } from "./dom.js";

const MARKS = { status: "  ", message: "i ", error: "! " };

function timeText(date) {
    const two = n => String(n).padStart(2, "0");
    return `${two(date.getHours())}:${two(date.getMinutes())}:${two(date.getSeconds())}.` +
        String(date.getMilliseconds()).padStart(3, "0");
}

export class MessageLog {
    static MAX_ENTRIES = 10000;

    constructor() {
        this.list = el("ol", { class: "log", "aria-live": "off" });
        this.lastStatus = null;
        this.element = el("details", { class: "message-log" },
                          el("summary", { text: "Message log" }), this.list);
        this.element.addEventListener("toggle", () => this.scrollToEnd());
    }

    status(text) {
        if (text.trim() === "")
            return;
        const last = this.list.lastElementChild;
        if (last && last === this.lastStatus?.item && text.startsWith(this.lastStatus.text)) {
            this.lastStatus.text = text;
            last.textContent = last.textContent.slice(0, 15) + text;
            return;
        }
        this.lastStatus = { text, item: this.add("status", text) };
    }

    message(text, error) {
        this.add(error ? "error" : "message", text);
    }

    // Every entry, one a line, as the page shows them.
    text() {
        return [...this.list.children].map(item => item.textContent).join("\n");
    }

    // The newest in sight.
    scrollToEnd() {
        this.list.scrollTop = this.list.scrollHeight;
    }

    add(kind, text) {
        const item = el("li", { class: kind, text: `${timeText(new Date())} ${MARKS[kind]}${text}` });
        this.list.append(item);
        if (this.list.childElementCount > MessageLog.MAX_ENTRIES)
            this.list.firstElementChild.remove();
        this.scrollToEnd();
        return item;
    }
}
