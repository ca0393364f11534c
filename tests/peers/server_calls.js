// A series of confirmed requests from @bacnet-js/client to one device, one after the other, each
// printed as a JSON line: {ok: answer} or {error: text, errorClass, errorCode}. Usage:
//   node server_calls.js <json>, with {interface, address, timeout, calls: [{op, ...}, ...]}
// Operations: readProperty {type, instance, property, index}, readPropertyMultiple {specs:
// [{type, instance, properties: [id, ...]}]}, writeProperty {type, instance, property, tag,
// value, priority}, createObject {type, instance}, deleteObject {type, instance}, readFile
// {instance, position, count}, writeFile {instance, position, hex}, communicationControl
// {duration, state, password}, reinitialize {state, password}.
'use strict';
const { default: Bacnet } = require('@bacnet-js/client');

const req = JSON.parse(process.argv[2]);
const client = new Bacnet({ interface: req.interface, port: req.port || 47808, apduTimeout: req.timeout || 3000 });
const receiver = { address: req.address };
const NO_INDEX = 0xffffffff;

const plain = (values) => values.map((v) => ({ type: v.type, value: v.value }));

const operations = {
  async readProperty(c) {
    const options = c.index === undefined ? {} : { arrayIndex: c.index };
    const r = await client.readProperty(receiver, { type: c.type, instance: c.instance }, c.property, options);
    return { values: plain(r.values) };
  },
  async readPropertyMultiple(c) {
    const specs = c.specs.map((s) => ({
      objectId: { type: s.type, instance: s.instance },
      properties: s.properties.map((id) => ({ id, index: NO_INDEX })),
    }));
    const r = await client.readPropertyMultiple(receiver, specs);
    return r.values.map((o) => ({
      object: o.objectId,
      results: o.values.map((p) => ({ property: p.id, values: plain(p.value) })),
    }));
  },
  async writeProperty(c) {
    await client.writeProperty(receiver, { type: c.type, instance: c.instance }, c.property,
      [{ type: c.tag, value: c.value }], { priority: c.priority });
    return {};
  },
  async createObject(c) {
    await client.createObject(receiver, { type: c.type, instance: c.instance }, []);
    return {};
  },
  async deleteObject(c) {
    await client.deleteObject(receiver, { type: c.type, instance: c.instance });
    return {};
  },
  async readFile(c) {
    const r = await client.readFile(receiver, { type: 10, instance: c.instance }, c.position, c.count);
    return { endOfFile: r.endOfFile, position: r.position, hex: Buffer.from(r.buffer).toString('hex') };
  },
  async writeFile(c) {
    const data = Array.from(Buffer.from(c.hex, 'hex'));
    const r = await client.writeFile(receiver, { type: 10, instance: c.instance }, c.position, [data]);
    return { position: r.position };
  },
  async communicationControl(c) {
    await client.deviceCommunicationControl(receiver, c.duration || 0, c.state, { password: c.password });
    return {};
  },
  async reinitialize(c) {
    await client.reinitializeDevice(receiver, c.state, { password: c.password });
    return {};
  },
};

function failure(e) {
  const text = String(e.message || e);
  const m = /Class:(\d+) - Code:(\d+)/.exec(text);
  return m ? { error: text, errorClass: Number(m[1]), errorCode: Number(m[2]) } : { error: text };
}

async function run() {
  for (const c of req.calls) {
    let line;
    try {
      line = { op: c.op, ok: await operations[c.op](c) };
    } catch (e) {
      line = { op: c.op, ...failure(e) };
    }
    process.stdout.write(JSON.stringify(line) + '\n');
  }
}

client.on('listening', () => {
  run().then(() => { client.close(); process.exit(0); },
    (e) => { process.stdout.write(JSON.stringify({ fatal: String(e) }) + '\n'); client.close(); process.exit(1); });
});
