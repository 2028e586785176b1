// 1000 connections that send what no client sends: random bytes, headers
// with wild sizes, indices and ids, packets cut short. Some at a time, each
// closed by us or by the server; the whole run is bounded.
//   node hostile.js PORT
"use strict";
const net = require("net");

const port = Number(process.argv[2]);
const total = 1000, together = 20, limitMs = 120000;
let seed = 470;
const random = (n) => {
    seed = (seed * 1103515245 + 12345) & 0x7fffffff;
    return seed % n;
};

function packet() {
    const kinds = random(4);
    if (kinds === 0) return Buffer.from(Array.from({ length: 1 + random(200) }, () => random(256)));
    const body = Buffer.from(Array.from({ length: random(64) }, () => random(256)));
    const header = Buffer.alloc(16);
    header.write(kinds === 1 ? "ORGX" : "ORGB", 0, "ascii");
    const ids = [0, 1, 40, 50, 150, 152, 1050, 1051, 1052, 1100, 1101, 1102, random(5000)];
    header.writeUInt32LE(random(3) === 0 ? random(0xffffffff) : random(6), 4);
    header.writeUInt32LE(ids[random(ids.length)], 8);
    header.writeUInt32LE(kinds === 2 ? random(0xffffffff) : body.length + (random(4) === 0 ? random(9) : 0), 12);
    return Buffer.concat([header, body]);
}

function one() {
    return new Promise((resolve) => {
        const socket = net.connect(port, "127.0.0.1");
        const done = () => {
            socket.destroy();
            resolve();
        };
        socket.setTimeout(2000, done);
        socket.on("error", done);
        socket.on("close", done);
        socket.on("data", () => {});
        socket.on("connect", () => {
            for (let i = 0, n = 1 + random(8); i < n; ++i) socket.write(packet());
            if (random(2) === 0) socket.end();
            setTimeout(done, 50 + random(200));
        });
    });
}

async function main() {
    const started = Date.now();
    let next = 0;
    const lanes = Array.from({ length: together }, async () => {
        while (next < total && Date.now() - started < limitMs) {
            ++next;
            await one();
        }
    });
    await Promise.all(lanes);
    console.log(`hostile: ${next} connections in ${Date.now() - started} ms`);
    if (next < total) process.exit(1);
}

main();
