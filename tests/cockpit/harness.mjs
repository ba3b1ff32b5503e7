// The head-end page as a user meets it, for the page's tests: the built agent on a simulated
// head-end (its socket in a folder of its own), Cockpit's web service with the built page, and
// headless Chromium. Each test file starts its own with site(), and ends it with site.end().
import { spawn } from "node:child_process";
import { once } from "node:events";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import assert from "node:assert/strict";

const here = path.dirname(new URL(import.meta.url).pathname);
export const bin = process.env.ORVEX_BIN;
export const shots = process.env.ORVEX_SHOTS;
const share = process.env.ORVEX_PAGE_SHARE;
const cockpitWs = "/usr/lib/cockpit/cockpit-ws";

// The demo head-end's modules; 1/3 reports a fault.
export const DEMO = {
    "1/1": "QM4-C", "1/2": "RX-S2", "1/3": "RX-S2", "1/4": "kx350B", "1/6": "LA-862", "1/7": "CC-2",
    "1/9": "NC-100", "2/1": "OTX-1310", "2/2": "XXX", "2/3": "RPR-4", "2/5": "PSU-300", "2/8": "ORX-860",
};

// WCAG's contrast ratio of two "rgb(r, g, b)" colours.
export function contrast(a, b) {
    const luminance = rgb => {
        const [r, g, bl] = rgb.match(/\d+/g).slice(0, 3).map(v => {
            const c = Number(v) / 255;
            return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4;
        });
        return 0.2126 * r + 0.7152 * g + 0.0722 * bl;
    };
    const [hi, lo] = [luminance(a), luminance(b)].sort((x, y) => y - x);
    return (hi + 0.05) / (lo + 0.05);
}

// How long a program of the test's may take to be ready, on a machine as busy as a CI's.
const READY_MS = 90000;

async function freePort() {
    const server = net.createServer().listen(0, "127.0.0.1");
    await once(server, "listening");
    const { port } = server.address();
    server.close();
    return port;
}

class Site {
    constructor() {
        this.started = [];
        this.work = fs.mkdtempSync(path.join(os.tmpdir(), "orvex-page-"));
        this.errors = [];
    }

    // A program of ours; with `ready` (a regular expression) resolves once its output says it.
    start(program, args, { ready, env = {}, stream = "stderr", user } = {}) {
        const [command, argv] = user ? ["setpriv", [`--reuid=${user}`, "--regid=nogroup", "--clear-groups",
                                                   program, ...args]] : [program, args];
        const child = spawn(command, argv, { env: { ...process.env, ...env }, stdio: ["ignore", "pipe", "pipe"] });
        this.started.push(child);
        let said = "";
        for (const output of [child.stdout, child.stderr])
            output.setEncoding("utf8").on("data", text => { said += text; });
        if (!ready)
            return child;
        const name = path.basename(program);
        return new Promise((resolve, reject) => {
            const late = setTimeout(() => reject(new Error(`${name} did not say ${ready} in ${READY_MS} ms: ${said}`)), READY_MS);
            child[stream].on("data", () => {
                const match = said.match(ready);
                if (match) {
                    clearTimeout(late);
                    resolve(match);
                }
            });
            child.on("exit", code => reject(new Error(`${name} ended (${code}): ${said}`)));
        });
    }

    // orvex-cli on the agent, as another client; resolves to its exit status and output.
    async cli(...words) {
        const cli = this.start(path.join(bin, "orvex-cli"), ["--port", `agent:${this.socket}`, ...words]);
        let out = "";
        cli.stdout.on("data", text => { out += text; });
        const [status] = await once(cli, "exit");
        return { status, out };
    }

    // The commands the simulated modules took, from its --log: [{ ms (of the day), module,
    // bytes: a Buffer }], of one module when named.
    commands(module) {
        return fs.readFileSync(path.join(this.work, "sim.log"), "latin1").split("\n").filter(Boolean).map(line => {
            const [at, name, ...hex] = line.split(" ");
            const [h, m, sec] = at.split(":").map(Number);
            return { ms: Math.round(((h * 60 + m) * 60 + sec) * 1000), module: name, bytes: Buffer.from(hex.join(""), "hex") };
        }).filter(c => !module || c.module === module);
    }

    // What the agent's engine reads of a module's parameter now, as another client asks it.
    async raw(module, index) {
        return JSON.parse((await this.cli("--json", "show", module)).out).params[index].raw;
    }

    // Cockpit's web service on loopback, its bridge as `user`, seeing the built page.
    async cockpit(user) {
        const port = await freePort();
        const home = fs.mkdtempSync(path.join(this.work, "home-"));
        fs.chmodSync(home, 0o777);
        await this.start(cockpitWs, ["--local-session=cockpit-bridge", "--address", "127.0.0.1", "--port", String(port)], {
            user, env: { XDG_DATA_DIRS: `${path.join(this.work, "share")}:/usr/share`,
                         ORVEX_AGENT_DIR: path.join(this.work, "agents"), HOME: home },
        });
        const base = `http://127.0.0.1:${port}/cockpit/@localhost`;
        for (let tries = 0; ; tries++) {
            try {
                if ((await fetch(`${base}/manifests.json`, { signal: AbortSignal.timeout(5000) })).ok)
                    return base;
                if (tries > 100)
                    throw new Error(`${cockpitWs} serves no manifests.json`);
            } catch (error) {
                if (tries > 100)
                    throw error;
            }
            await new Promise(resolve => setTimeout(resolve, 100));
        }
    }

    // A browser page at url; its script errors are collected and checked at the end.
    async open(url, width = 1366) {
        const page = await this.browser.newPage({ viewport: { width, height: 900 }, acceptDownloads: true });
        // What the page waits for runs at the agent on the line: a load or a reset takes its
        // time on a busy machine.
        page.setDefaultTimeout(90000);
        page.on("pageerror", error => this.errors.push(error.message));
        page.on("console", message => message.type() === "error" && message.location().url.includes("/orvex/") &&
                this.errors.push(message.text()));
        await page.goto(url);
        return page;
    }

    // The shell and in it the head-end page as Cockpit's menu opens it: { page, ui } with ui the
    // page's frame. Cockpit's local session ends with its last page: keep one open.
    async shell() {
        const page = await this.open(this.base.replace(/\/cockpit\/@localhost$/, "/"));
        await page.getByRole("link", { name: "Head-end" }).click();
        const frame = page.locator('iframe[name="cockpit1:localhost/orvex"]');
        await frame.waitFor();
        console.log("# the head-end page is open in Cockpit's shell");
        return { page, ui: await (await frame.elementHandle()).contentFrame() };
    }

    async end() {
        assert.deepEqual(this.errors, [], "the page's console");
        await this.browser?.close();
        for (const child of this.started)
            child.kill();
        fs.rmSync(this.work, { recursive: true, force: true });
    }
}

// Starts the simulator (with simArgs), the agent on it and Cockpit for root; site.browser is
// undefined where Chromium cannot start (the tests then skip, saying so).
export async function site(simArgs = []) {
    assert.ok(fs.existsSync(path.join(share, "cockpit/orvex/orvex.js")),
              "the page is not built: cockpit/node_modules is missing (scripts/setup.sh runs npm ci in cockpit/)");
    let chromium;
    try {
        ({ chromium } = await import(path.join(here, "../../cockpit/node_modules/playwright-core/index.mjs")));
    } catch (error) {
        assert.fail(`playwright-core is not installed (scripts/setup.sh runs npm ci in cockpit/): ${error.message}`);
    }
    const s = new Site();
    const agents = path.join(s.work, "agents");
    s.socket = path.join(agents, "demo.sock");
    fs.mkdirSync(agents);
    fs.chmodSync(s.work, 0o755);
    // The built page where a user without rights to the build folder reads it too.
    fs.cpSync(share, path.join(s.work, "share"), { recursive: true });
    const [, pty] = await s.start(path.join(bin, "headend-sim"), ["--pty", "--log", path.join(s.work, "sim.log"), ...simArgs], { ready: /^(\/\S+)\n/m, stream: "stdout" });
    const [, found] = await s.start(path.join(bin, "orvex-agent"), ["--port", pty, "--socket", s.socket, "--interval", "3600",
                                                                    "--listen", "127.0.0.1:0"], { ready: /scan: (\d+) Modules found/ });
    assert.equal(found, "12", "the agent's first scan");
    console.log("# the agent has scanned the simulated head-end");
    try {
        s.browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox"] });
    } catch (error) {
        console.log(`Chromium cannot start here: ${error.message.split("\n")[0]}`);
        return s;
    }
    fs.mkdirSync(shots, { recursive: true });
    s.base = await s.cockpit();
    console.log("# Chromium and Cockpit are ready");
    return s;
}
