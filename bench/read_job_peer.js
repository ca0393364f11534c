// The READ job's protocol work done by @bacnet-js/client, for comparison with the backend:
// a Who-Is for the unit, then per File object the model-name check and one AtomicReadFile,
// each result written to a file. Prints one JSON line and exits.
// Usage: node read_job_peer.js <json {broadcast, device, sizes, order, folder}>
'use strict';
const fs = require('fs');
const path = require('path');
const { default: Bacnet } = require('@bacnet-js/client');

const opt = JSON.parse(process.argv[2]);
// Bound to every address: the unit's I-Am comes as a broadcast.
const client = new Bacnet({ broadcastAddress: opt.broadcast, port: 47808, apduTimeout: 3000 });
const OBJECT_DEVICE = 8;
const OBJECT_FILE = 10;
const MODEL_NAME = 70;
const done = (obj) => { process.stdout.write(JSON.stringify(obj) + '\n'); client.close(); process.exit(0); };

async function readAll(receiver) {
  for (const instance of opt.order) {
    const model = await client.readProperty(receiver, { type: OBJECT_DEVICE, instance: opt.device }, MODEL_NAME);
    if (String(model.values[0].value).toLowerCase() !== 'zor17_bacnet') throw new Error('not our unit');
    const file = await client.readFile(receiver, { type: OBJECT_FILE, instance }, 0, opt.sizes[instance]);
    fs.writeFileSync(path.join(opt.folder, `file${instance}.bin`), Buffer.from(file.buffer));
  }
}

client.on('iAm', (msg) => {
  if (msg.payload.deviceId !== opt.device) return;
  readAll({ address: msg.header.sender.address }).then(() => done({ ok: true }), (e) => done({ error: String(e.message || e) }));
});
client.on('listening', () => client.whoIs({ lowLimit: opt.device, highLimit: opt.device }));
