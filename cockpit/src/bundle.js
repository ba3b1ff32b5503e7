// The support bundle: one zip, named after the line and the date, with what a service
// engineer asks for: the message log (the date, site, port and version above it), the agent's
// trace of the last frames on the line, the configuration and the diagnostic reports of the
// modules the agent knows as faulty. It restarts no module: the configuration is a backup
// that reads no EEPROM image (backup --no-images), and README.txt names the image modules
// whose image it leaves out.
import { strToU8, zipSync } from "fflate";
import { el } from "./dom.js";
import { download, stamp } from "./download.js";
import { traceText } from "./linemonitor.js";

const NOT_READ = /^(\d\/\d+): EEPROM image not read/;

export class SupportBundle {
    // about(): { site, port, version, log } of the line; said(text, error) as the status.
    constructor(agent, about, said) {
        this.agent = agent;
        this.about = about;
        this.said = said;
        this.button = el("button", { type: "button", text: "Support bundle", onclick: () => this.make() });
        this.element = el("div", { class: "bundle" }, this.button);
    }

    step(text) {
        this.progress.value++;
        this.said(`Support bundle: ${text}`, false);
    }

    async make() {
        const when = new Date();
        this.button.disabled = true;
        try {
            const { slots } = await this.agent.call("headend.v1");
            const faulty = slots.filter(slot => slot.present && slot.fault).map(slot => slot.module);
            // There while the bundle is made only.
            this.progress = el("progress", { max: faulty.length + 3, value: 0, "aria-label": "Support bundle" });
            this.element.append(this.progress);
            const files = {};
            this.step("the configuration (no EEPROM image: no module restarts)");
            const { name, data, printed } = await this.configuration();
            if (data)
                files[`configuration/${name}`] = Uint8Array.from(atob(data), c => c.charCodeAt(0));
            for (const module of faulty) {
                this.step(`the diagnostic report of ${module}`);
                const diag = await this.agent.command("diag", [module]);
                files[`diag-${module.replace("/", "-")}.txt`] = strToU8(diag.out + diag.err);
            }
            // The trace last, so that it holds the frames of the bundle's own reads.
            this.step("the trace");
            const { frames } = await this.agent.call("monitor.v1", { follow: false });
            const { site, port, version, log } = this.about();
            files["trace.txt"] = strToU8(traceText(frames));
            files["message-log.txt"] = strToU8(`ORVEX Link message log\nDate: ${when.toString()}\nSite: ${site}\n` +
                                               `Port: ${port}\nVersion: ${version}\n\n${log}\n`);
            files["README.txt"] = strToU8(this.readme(site, when, printed, faulty));
            download(`support-${site}-${stamp(when)}.zip`, zipSync(files), "application/zip");
            this.said(`Support bundle of ${site} made`, false);
        } catch (error) {
            this.said(`The support bundle was not made: ${error.message}`, true);
        } finally {
            this.button.disabled = false;
            this.progress?.remove();
        }
    }

    // The head-end's configuration as a backup without images, into a folder of its own.
    async configuration() {
        let printed = "";
        const { files } = await this.agent.call("backup.v1", {
            words: ["--no-images", "--", "backup", "@0"],
            folders: [{ path: "configuration/", exists: false }],
        }, (method, { text }) => { printed += method === "output.v1" ? text : ""; });
        return { ...files[0], printed };
    }

    readme(site, when, printed, faulty) {
        const notRead = printed.split("\n").map(line => line.match(NOT_READ)?.[1]).filter(Boolean);
        return `Support bundle of ${site}, ${when.toString()}\n\n` +
            "message-log.txt   what the page said, with its time\n" +
            "trace.txt         the last frames on the line (orvex-cli --trace format)\n" +
            "configuration/    the head-end's configuration (orvex-cli backup --no-images)\n" +
            `diag-G-S.txt      the diagnostic reports of the faulty modules: ${faulty.join(", ") || "none"}\n\n` +
            "No EEPROM image was read: reading one restarts its module. Images not in this bundle: " +
            `${notRead.join(", ") || "none"}\n\nWhat the backup said:\n${printed}`;
    }
}
