// The lines this box serves: one agent per line, each with its socket in the agents' folder
// (ORVEX_AGENT_DIR, else /run/orvex-agent; the unit names them LINE.sock). Only a process of
// the user's session sees that variable and the folder, so a small shell listing run through
// the bridge prints the folder and then the socket names in it; nothing is read here that the
// user could not list.
const LISTING = [
    'dir="${ORVEX_AGENT_DIR:-/run/orvex-agent}"',
    'printf "%s\\n" "$dir"',
    'for s in "$dir"/*.sock; do [ -S "$s" ] && printf "%s\\n" "${s##*/}"; done',
    "exit 0",
].join("\n");

export async function findLines() {
    const out = await cockpit.spawn(["/bin/sh", "-c", LISTING], { err: "message" });
    const [folder, ...names] = out.split("\n").filter(line => line !== "");
    return {
        folder,
        lines: names.map(name => ({ name: name.replace(/\.sock$/, ""), socket: `${folder}/${name}` })),
    };
}
