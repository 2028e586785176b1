// A client written by others (openrgb-sdk) against the window's server:
// lists the products with their zones and LEDs, sets the mouse to Direct
// and a colour, and waits until that colour is on the virtual mouse's wire.
//   node client.js PORT TRAFFIC_FILE [count-only]
"use strict";
const fs = require("fs");
const { Client } = require("openrgb-sdk");

const [port, trafficFile, countOnly] = [Number(process.argv[2]), process.argv[3], process.argv[4] === "count-only"];
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const fail = (why) => {
    console.error("client: " + why);
    process.exit(1);
};

async function connect() {
    for (let tries = 0; tries < 300; ++tries) {
        const client = new Client("m470 test", port, "127.0.0.1");
        try {
            await client.connect(2000);
            return client;
        } catch (error) {
            await sleep(100);
        }
    }
    fail("no server on port " + port);
}

async function main() {
    const client = await connect();
    if (client.protocolVersion !== 4) fail("protocol version " + client.protocolVersion + ", not 4");
    // The window finds its products after it starts: wait for all four.
    let count = 0;
    for (let tries = 0; tries < 900 && count < 4; ++tries) {
        count = await client.getControllerCount();
        if (count < 4) await sleep(100);
    }
    if (count !== 4) fail(count + " controllers, not 4");
    const devices = await client.getAllControllerData();
    for (const device of devices) {
        const inZones = device.zones.reduce((sum, zone) => sum + zone.ledsCount, 0);
        console.log(`${device.type} ${device.name} (${device.vendor}): ${device.zones.map((z) => z.name + " " + z.ledsCount).join(", ")};` +
                    ` ${device.leds.length} LEDs; modes ${device.modes.map((m) => m.name).join("|")}`);
        if (device.leds.length === 0 || inZones !== device.leds.length) fail(device.name + ": zones and LEDs disagree");
        if (!device.modes.some((mode) => mode.name === "Direct")) fail(device.name + " has no Direct mode");
    }
    const types = devices.map((device) => device.type).sort();
    if (JSON.stringify(types) !== JSON.stringify([5, 6, 7, 8])) fail("types " + types + ", not keyboard, mouse, mousemat, headset");
    const keyboard = devices.find((device) => device.type === 5);
    if (!keyboard.leds.some((led) => led.name === "Key: Esc")) fail("the keyboard's LEDs are not named by their keys");
    if (countOnly) {
        client.disconnect();
        return;
    }

    const mouse = devices.find((device) => device.type === 6);
    await client.updateMode(mouse.deviceId, "Direct");
    const colours = mouse.leds.map(() => ({ red: 0x40, green: 0x80, blue: 0xc0 }));
    // At full level the product gets each channel × 255 / 256, as every effect sends it.
    const wanted = "3f7fbf";
    for (let tries = 0; tries < 450; ++tries) {
        client.updateLeds(mouse.deviceId, colours);
        await sleep(200);
        const lines = fs.existsSync(trafficFile) ? fs.readFileSync(trafficFile, "utf8").split("\n") : [];
        const streamed = lines.some((line) => {
            const [name, hex] = line.split(" ");
            return name === "mouse" && hex && hex.substr(6, 2) === "12" && hex.substr(16).startsWith(wanted);
        });
        if (streamed) {
            const after = await client.getControllerData(mouse.deviceId);
            if (after.modes[after.activeMode].name !== "Direct") fail("the mouse does not say Direct is on");
            console.log("the mouse streams the client's colour");
            client.disconnect();
            return;
        }
    }
    fail("the colour never reached the mouse's LED stream");
}

main().catch((error) => fail(error.stack || String(error)));
