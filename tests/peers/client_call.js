// One confirmed request from @bacnet-js/client, printed as a JSON line: the answer, or the
// error it ended with. Usage: node client_call.js <json>, with
//   {interface, address, op: "readProperty"|"readFile"|"writeFile", type, instance,
//    property, position, count, hex, timeout, net, adr}
// net and adr (an array of octets) address a device behind a router: DNET and DADR.
'use strict';
const { default: Bacnet } = require('@bacnet-js/client');

const req = JSON.parse(process.argv[2]);
const client = new Bacnet({ interface: req.interface, port: req.port || 47808, apduTimeout: req.timeout || 3000 });
const receiver = { address: req.address };
if (req.net) Object.assign(receiver, { net: req.net, adr: req.adr || [] });
const objectId = { type: req.type, instance: req.instance };
const done = (obj) => { process.stdout.write(JSON.stringify(obj) + '\n'); client.close(); process.exit(0); };

async function call() {
  switch (req.op) {
    case 'readProperty': {
      const r = await client.readProperty(receiver, objectId, req.property);
      return { values: r.values.map((v) => ({ type: v.type, value: v.value })) };
    }
    case 'readFile': {
      const r = await client.readFile(receiver, objectId, req.position, req.count);
      return { endOfFile: r.endOfFile, position: r.position, hex: Buffer.from(r.buffer).toString('hex') };
    }
    case 'writeFile': {
      const r = await client.writeFile(receiver, objectId, req.position, [Array.from(Buffer.from(req.hex, 'hex'))]);
      return { position: r.position };
    }
    default:
      throw new Error(`unknown op ${req.op}`);
  }
}

client.on('listening', () => {
  call().then((r) => done({ ok: r }), (e) => done({ error: String(e.message || e) }));
});
