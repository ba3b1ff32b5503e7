// One connection to a line's agent: its JSON-RPC 2.0, one JSON object a line, through a
// Cockpit channel on the agent's Unix socket. The channel runs with the logged-in user's
// rights, so the socket's group decides who may reach the head-end.

// Why a channel could not be opened or was closed, in the user's terms (the words the
// windows and orvex-cli use for an agent's socket).
export function problemText(problem, user = "USER") {
    switch (problem) {
    case "access-denied":
    case "not-authorized":
        return "Permission denied: the agent's socket is for the group orvex. " +
            `Who may change the head-end is who is in that group (adduser ${user} orvex, then log in again).`;
    case "not-found":
        return "No agent listens there (is the agent of that line running?)";
    case "disconnected":
    case "terminated":
        return "The connection to the agent was lost.";
    default:
        return `The agent cannot be reached (${problem}).`;
    }
}

export class AgentError extends Error {
    constructor(message, code) {
        super(message);
        this.code = code;
    }
}

export class Agent {
    constructor(socket) {
        this.socket = socket;
        this.nextId = 1;
        this.pending = []; // in the order sent: the agent answers one request after another
        this.buffer = "";
        this.onEvent = () => {};
        this.listeners = new Map(); // notifications that belong to no request, by method
        this.onClose = () => {};
        this.closedWith = null;
        this.channel = cockpit.channel({ payload: "stream", unix: socket });
        this.channel.addEventListener("message", (_event, data) => this.feed(data));
        this.channel.addEventListener("close", (_event, options) => this.closed(options));
    }

    // A request; notify(method, params) hears what it says on the way (its notifications
    // come before its answer). Resolves to the result, rejects with an AgentError.
    call(method, params = {}, notify = () => {}) {
        if (this.closedWith)
            return Promise.reject(this.closedWith);
        const id = this.nextId++;
        return new Promise((resolve, reject) => {
            this.pending.push({ id, resolve, reject, notify });
            this.channel.send(JSON.stringify({ jsonrpc: "2.0", id, method, params }) + "\n");
        });
    }

    // A notification to the agent: it answers none.
    notify(method, params = {}) {
        if (!this.closedWith)
            this.channel.send(JSON.stringify({ jsonrpc: "2.0", method, params }) + "\n");
    }

    // What the agent goes on telling after a call has been answered (the line's frames, a
    // console's text) goes to hear(params), not to the request pending then.
    listen(method, hear) {
        this.listeners.set(method, hear);
    }

    // An orvex-cli command run by the agent (COMMAND.v1): its exit status and what it printed.
    // more: further parameters, such as the folders of the files it reads.
    async command(name, args, options = [], more = {}) {
        const printed = { out: "", err: "" };
        const result = await this.call(`${name}.v1`, { words: [...options, "--", name, ...args], ...more },
                                       (method, { stream, text }) => {
                                           if (method === "output.v1")
                                               printed[stream] += text;
                                       });
        return { status: result.status, ...printed };
    }

    close() {
        this.channel.close();
    }

    feed(data) {
        this.buffer += data;
        let end;
        while ((end = this.buffer.indexOf("\n")) >= 0) {
            const line = this.buffer.slice(0, end);
            this.buffer = this.buffer.slice(end + 1);
            if (line.trim() !== "")
                this.take(JSON.parse(line));
        }
    }

    take(message) {
        if (message.id === undefined) {
            if (message.method === "event.v1")
                this.onEvent(message.params);
            else if (this.listeners.has(message.method))
                this.listeners.get(message.method)(message.params);
            else
                this.pending[0]?.notify(message.method, message.params);
            return;
        }
        const at = this.pending.findIndex(p => p.id === message.id);
        if (at < 0)
            return;
        const [request] = this.pending.splice(at, 1);
        if (message.error)
            request.reject(new AgentError(message.error.message, message.error.code));
        else
            request.resolve(message.result);
    }

    async closed(options) {
        const problem = options.problem || "disconnected";
        const user = await cockpit.user().then(u => u.name, () => undefined);
        this.closedWith = new AgentError(problemText(problem, user), problem);
        for (const request of this.pending.splice(0))
            request.reject(this.closedWith);
        this.onClose(this.closedWith);
    }
}
