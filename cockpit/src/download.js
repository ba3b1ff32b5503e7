// A file the page makes, handed to the browser as a download.
export function download(name, bytes, type = "application/octet-stream") {
    const url = URL.createObjectURL(new Blob([bytes], { type }));
    const link = document.createElement("a");
    link.href = url;
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
}

// 20260105-020000, as the backups are named.
export function stamp(date = new Date()) {
    const two = n => String(n).padStart(2, "0");
    return `${date.getFullYear()}${two(date.getMonth() + 1)}${two(date.getDate())}-` +
        `${two(date.getHours())}${two(date.getMinutes())}${two(date.getSeconds())}`;
}

// What the agent sends of a file or a console's text: base64.
export function fromBase64(base64) {
    return Uint8Array.from(atob(base64), c => c.charCodeAt(0));
}
