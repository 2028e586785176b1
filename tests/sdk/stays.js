// A client connected while `m470ctl sdk on` is said again (the server is on
// already) keeps its connection: the switch does not restart the server.
//   node stays.js PORT M470CTL
"use strict";
const { execFileSync } = require("child_process");
const { Client } = require("openrgb-sdk");

const [port, ctl] = [Number(process.argv[2]), process.argv[3]];
const fail = (why) => {
    console.error("stays: " + why);
    process.exit(1);
};

async function main() {
    const client = new Client("m470 test", port, "127.0.0.1");
    await client.connect(2000);
    let closed = false;
    client.socket.on("close", () => (closed = true));
    await client.getControllerCount();
    execFileSync(ctl, ["sdk", "on"], { timeout: 90000, stdio: "inherit" });
    // The window answered m470ctl after its server took the switch: a closed
    // connection has been seen by now, or the request below is answered.
    const count = await Promise.race([client.getControllerCount(), new Promise((resolve) => client.socket.on("close", () => resolve(null)))]);
    if (closed || count === null) fail("m470ctl sdk on closed a connected client");
    client.disconnect();
}

main().catch((error) => fail(error.stack || String(error)));
