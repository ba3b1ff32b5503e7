// The head-end page as a user meets it: the built agent on a simulated head-end (its socket in
// a folder of its own), Cockpit's web service with the built page, and headless Chromium.
import { spawn } from "node:child_process";
import { once } from "node:events";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { after, before, test } from "node:test";
import assert from "node:assert/strict";

const here = path.dirname(new URL(import.meta.url).pathname);
const bin = process.env.ORVEX_BIN;
const share = process.env.ORVEX_PAGE_SHARE;
const shots = process.env.ORVEX_SHOTS;
const cockpitWs = "/usr/lib/cockpit/cockpit-ws";

// The demo head-end's modules; 1/3 reports a fault.
const DEMO = {
    "1/1": "QM4-C", "1/2": "RX-S2", "1/3": "RX-S2", "1/4": "kx350B", "1/6": "LA-862", "1/7": "CC-2",
    "1/9": "NC-100", "2/1": "OTX-1310", "2/2": "XXX", "2/3": "RPR-4", "2/5": "PSU-300", "2/8": "ORX-860",
};

const started = [];
const work = fs.mkdtempSync(path.join(os.tmpdir(), "orvex-page-"));
let browser, chromium;

// A program of ours; with `ready` (a regular expression) resolves once its output says it.
function start(program, args, { ready, env = {}, stream = "stderr", user } = {}) {
    const [command, argv] = user ? ["setpriv", [`--reuid=${user}`, "--regid=nogroup", "--clear-groups",
                                               program, ...args]] : [program, args];
    const child = spawn(command, argv, { env: { ...process.env, ...env }, stdio: ["ignore", "pipe", "pipe"] });
    started.push(child);
    let said = "";
    for (const output of [child.stdout, child.stderr])
        output.setEncoding("utf8").on("data", text => { said += text; });
    if (!ready)
        return child;
    return new Promise((resolve, reject) => {
        child[stream].on("data", () => {
            const match = said.match(ready);
            if (match)
                resolve(match);
        });
        child.on("exit", code => reject(new Error(`${path.basename(program)} ended (${code}): ${said}`)));
    });
}

async function freePort() {
    const server = net.createServer().listen(0, "127.0.0.1");
    await once(server, "listening");
    const { port } = server.address();
    server.close();
    return port;
}

// Cockpit's web service on loopback, its bridge as `user`, seeing the built page.
async function cockpit(user) {
    const port = await freePort();
    const home = fs.mkdtempSync(path.join(work, "home-"));
    fs.chmodSync(home, 0o777);
    await start(cockpitWs, ["--local-session=cockpit-bridge", "--address", "127.0.0.1", "--port", String(port)], {
        user, env: { XDG_DATA_DIRS: `${path.join(work, "share")}:/usr/share`, ORVEX_AGENT_DIR: path.join(work, "agents"), HOME: home },
    });
    const base = `http://127.0.0.1:${port}/cockpit/@localhost`;
    for (let tries = 0; ; tries++) {
        try {
            if ((await fetch(`${base}/manifests.json`)).ok)
                return base;
        } catch (error) {
            if (tries > 100)
                throw error;
        }
        await new Promise(resolve => setTimeout(resolve, 100));
    }
}

async function open(url, width = 1366) {
    const page = await browser.newPage({ viewport: { width, height: 900 } });
    const errors = [];
    page.on("pageerror", error => errors.push(error.message));
    page.on("console", message => message.type() === "error" && message.location().url.includes("/orvex/") &&
            errors.push(message.text()));
    await page.goto(url);
    return { page, errors };
}

// WCAG's contrast ratio of two "rgb(r, g, b)" colours.
function contrast(a, b) {
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

let base, denied, socket, page, errors, ui;

// What the agent's engine reads of a module now, as another client asks it.
async function raw(module, index) {
    const cli = start(path.join(bin, "orvex-cli"), ["--port", `agent:${socket}`, "--json", "show", module]);
    let out = "";
    cli.stdout.on("data", text => { out += text; });
    await once(cli, "exit");
    return JSON.parse(out).params[index].raw;
}

before(async () => {
    assert.ok(fs.existsSync(path.join(share, "cockpit/orvex/orvex.js")),
              "the page is not built: cockpit/node_modules is missing (scripts/setup.sh runs npm ci in cockpit/)");
    try {
        ({ chromium } = await import(path.join(here, "../../cockpit/node_modules/playwright-core/index.mjs")));
    } catch (error) {
        assert.fail(`playwright-core is not installed (scripts/setup.sh runs npm ci in cockpit/): ${error.message}`);
    }
    const agents = path.join(work, "agents");
    socket = path.join(agents, "demo.sock");
    fs.mkdirSync(agents);
    fs.chmodSync(work, 0o755);
    // The built page where a user without rights to the build folder reads it too.
    fs.cpSync(share, path.join(work, "share"), { recursive: true });
    const [, pty] = await start(path.join(bin, "headend-sim"), ["--pty", "--ignore-writes", "1/2"], { ready: /^(\/\S+)\n/m, stream: "stdout" });
    await start(path.join(bin, "orvex-agent"), ["--port", pty, "--socket", socket,
                                                "--interval", "3600", "--listen", "127.0.0.1:0"], { ready: /scan: 12 Modules found/ });
    try {
        browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox"] });
    } catch (error) {
        console.log(`Chromium cannot start here: ${error.message.split("\n")[0]}`);
        return;
    }
    fs.mkdirSync(shots, { recursive: true });
    base = await cockpit();
    denied = await cockpit("nobody");
    // One page for the whole session (Cockpit's local session ends with its last page): the
    // shell, and in it the page as its menu opens it.
    ({ page, errors } = await open(base.replace(/\/cockpit\/@localhost$/, "/")));
    await page.getByRole("link", { name: "Head-end" }).click();
    const frame = page.locator('iframe[name="cockpit1:localhost/orvex"]');
    await frame.waitFor();
    ui = await (await frame.elementHandle()).contentFrame();
});

after(async () => {
    assert.deepEqual(errors ?? [], [], "the page's console");
    await browser?.close();
    for (const child of started)
        child.kill();
    fs.rmSync(work, { recursive: true, force: true });
});

test("Cockpit's menu opens the page, with a tab for the line", { timeout: 30000 }, async t => {
    if (!browser)
        return t.skip("Chromium cannot start");
    assert.equal(page.url(), base.replace(/cockpit\/@localhost$/, "orvex"));
    await ui.getByRole("tab", { name: "demo" }).waitFor();
    await ui.getByText(/^Line .*, you are root/).waitFor();
    // The head-end as the agent saw it, before any scan here.
    await ui.locator('[data-module="1/3"]', { hasText: "RX-S2FAULT" }).waitFor();
    // Reachable by keyboard: from the line's tab to Scan, then to the first module.
    await ui.getByRole("tab", { name: "demo" }).focus();
    for (const next of ["Scan", "1QM4-COK"]) {
        await page.keyboard.press("Tab");
        assert.equal(await ui.evaluate(() => document.activeElement.textContent), next);
    }
});

test("a scan shows the demo head-end's modules, their state and the scan's words", { timeout: 60000 }, async t => {
    if (!browser)
        return t.skip("Chromium cannot start");
    const scan = ui.getByRole("button", { name: "Scan" });
    await scan.click();
    // The progress bar moves while the agent scans; Scan waits meanwhile.
    await ui.waitForFunction(() => {
        const bar = document.querySelector("progress");
        return !bar.hidden && bar.value > 0;
    });
    assert.equal(await scan.isDisabled(), true);
    await ui.locator(".status-line", { hasText: "12 Modules found" }).waitFor();
    const slots = await ui.locator(".slot").evaluateAll(all => all.map(slot => ({
        module: slot.dataset.module, type: slot.querySelector(".type").textContent,
        button: !slot.querySelector("button").disabled,
        cue: slot.querySelector(".cue").textContent, colour: getComputedStyle(slot.querySelector(".type")).color,
        back: getComputedStyle(slot).backgroundColor,
    })));
    assert.equal(slots.length, 32);
    const found = slots.filter(s => s.type !== "-");
    assert.deepEqual(Object.fromEntries(found.map(s => [s.module, s.type])), DEMO);
    assert.ok(slots.every(s => s.button === (s.type !== "-")), "a slot's button is there for a module only");
    for (const slot of found) {
        assert.equal(slot.cue, slot.module === "1/3" ? "FAULT" : "OK", slot.module);
        assert.equal(slot.colour, slot.module === "1/3" ? "rgb(192, 0, 0)" : "rgb(0, 128, 0)", slot.module);
        assert.ok(contrast(slot.colour, slot.back) >= 4.5, `${slot.module}: contrast ${contrast(slot.colour, slot.back)}`);
    }
    assert.equal(await ui.locator("progress").isHidden(), true);
    assert.equal(await scan.isEnabled(), true);
    const log = await ui.locator(".log").textContent();
    for (const said of ["Group#1 Module #1: Scaning", "Module #3:loading diagnostic", "Group#2 Module #16: Scaning"])
        assert.ok(log.includes(said), said);
});

test("a slot opens its panel; a list is written at once, a refused write shows red", { timeout: 60000 }, async t => {
    if (!browser)
        return t.skip("Chromium cannot start");
    await ui.locator('[data-module="1/1"] button').click();
    await ui.locator(".status-line", { hasText: "Module #1 selected" }).waitFor();
    assert.equal(await ui.locator(".panel h2").textContent(), "Module 1/1: QM4-C V3.12");
    assert.equal(await ui.getByLabel("Symbol rate MS/s", { exact: true }).inputValue(), "6.900");
    assert.equal(await ui.getByLabel("Output level dBuV", { exact: true }).textContent(), "95.0");
    const constellation = ui.getByLabel("Constellation", { exact: true });
    assert.equal(await constellation.inputValue(), "4");
    await constellation.selectOption("64-QAM");
    await ui.locator(".log li", { hasText: "Module 1/1 parameter 2 (Constellation): 2 written" }).waitFor({ state: "attached" });
    assert.equal(await raw("1/1", 2), 2);
    assert.equal(await ui.getByLabel("Constellation", { exact: true }).evaluate(list => list.className), "");
    // A typed number goes with Enter, as the engine reads it; one out of range is refused.
    const frequency = ui.getByLabel("Output frequency MHz", { exact: true });
    await frequency.fill("475.5");
    await frequency.press("Enter");
    await ui.locator(".log li", { hasText: "3428 written; it holds 3428 (475.500 MHz)" }).waitFor({ state: "attached" });
    await ui.getByLabel("Output frequency MHz", { exact: true }).fill("999");
    await ui.getByLabel("Output frequency MHz", { exact: true }).press("Enter");
    await ui.locator("input.refused").waitFor();
    assert.equal(await ui.locator("input.refused").inputValue(), "475.500");
    const log = await ui.locator(".log").textContent();
    for (const said of ["set 1/1 1 --shown 475.5 by root", "must be between 47 and 883 MHz"])
        assert.ok(log.includes(said), said);
    // A spin box: each step written at once, the commit after the last.
    for (let n = 0; n < 3; n++)
        await ui.getByRole("button", { name: "Output level dBuV up" }).click();
    await ui.locator(".log li", { hasText: "commit 1/1 by root" }).waitFor({ state: "attached" });
    assert.equal(await ui.getByLabel("Output level dBuV", { exact: true }).textContent(), "96.5");
    const steps = await ui.locator(".log").textContent();
    assert.ok(steps.lastIndexOf("write 1/1 parameter 5 = 33 by root") < steps.lastIndexOf("commit 1/1 by root"));
    assert.equal(await raw("1/1", 5), 33);
    // Another client's change shows on the open panel.
    await once(start(path.join(bin, "orvex-cli"), ["--port", `agent:${socket}`, "set", "1/1", "2", "0"]), "exit");
    await ui.locator("select", { has: ui.locator("option:checked", { hasText: "16-QAM" }) }).waitFor();

    await ui.locator('[data-module="1/2"] button').click();
    await ui.locator(".panel h2", { hasText: "Module 1/2" }).waitFor();
    await ui.getByLabel("Mode", { exact: true }).selectOption("DVB-S2");
    const mode = ui.locator("select.refused");
    await mode.waitFor();
    assert.equal(await mode.evaluate(list => list.options[list.selectedIndex].text), "Auto");
    assert.equal(await mode.evaluate(list => getComputedStyle(list).color), "rgb(192, 0, 0)");
    assert.equal(await ui.evaluate(() => document.activeElement.id), await mode.getAttribute("id"));

    await ui.getByText("Message log").press("Enter");
    // The shell scrolls nothing itself: the pictures are as tall as the page.
    await page.setViewportSize({ width: 1366, height: 1200 });
    await page.screenshot({ path: path.join(shots, "page-1366.png") });
    await page.setViewportSize({ width: 360, height: 2000 });
    assert.ok(await ui.evaluate(() => document.documentElement.scrollWidth <= innerWidth), "wider than a phone");
    await page.screenshot({ path: path.join(shots, "page-360.png") });
});

test("a user outside the group orvex is told why the line cannot be reached", { timeout: 30000 }, async t => {
    if (!browser)
        return t.skip("Chromium cannot start");
    const { page } = await open(`${denied}/orvex/index.html`, 360);
    const problem = page.getByRole("alert");
    await problem.waitFor();
    assert.match(await problem.textContent(), /demo\.sock: Permission denied: .*group orvex.*adduser nobody orvex/);
    assert.equal(await page.getByRole("button", { name: "Scan" }).isVisible(), false);
    await page.screenshot({ path: path.join(shots, "page-denied-360.png"), fullPage: true });
    await page.close();
});
