// A remote device played by @bacnet-js/client for the API's text and XML commands: Analog
// Inputs 1 and 2, Analog Output 1, Binary Input 1 and Binary Output 1. It answers ReadProperty
// and ReadPropertyMultiple of their present values (unknown objects: Object / Unknown Object),
// takes WriteProperty of the outputs (the inputs: Property / Write Access Denied) and
// WritePropertyMultiple, and logs every Who-Is.
//
// Usage: node api_device.js <json options>: device (1234), port (47808), broadcast.
// Prints JSON lines: {"ready":true}, then one line per request served:
//   {"rp":[type,instance,property]}  {"rpm":[[type,instance,[property,...]],...]}
//   {"wp":[type,instance,property,value,priority]}  {"wpm":[type,instance,[[property,value,priority],...]]}
//   {"whoIs":[low,high]}
'use strict';
const { default: Bacnet } = require('@bacnet-js/client');

const opt = Object.assign({ device: 1234, port: 47808 }, JSON.parse(process.argv[2] || '{}'));
const client = new Bacnet({ port: opt.port, broadcastAddress: opt.broadcast, apduTimeout: 3000 });
const say = (obj) => process.stdout.write(JSON.stringify(obj) + '\n');

const REAL = 4;
const ENUMERATED = 9;
const PRESENT_VALUE = 85;
const NO_SEGMENTATION = 3;
const SERVICE_READ_PROPERTY = 12;
const SERVICE_WRITE_PROPERTY = 15;
const CLASS_OBJECT = 1;
const CLASS_PROPERTY = 2;
const UNKNOWN_OBJECT = 31;
const UNKNOWN_PROPERTY = 32;
const WRITE_ACCESS_DENIED = 40;

// Present values by "type:instance"; the outputs (types 1 and 4) may be written.
const objects = {
  '0:1': { type: REAL, value: 21.5 },
  '0:2': { type: REAL, value: 7.25 },
  '1:1': { type: REAL, value: 0 },
  '3:1': { type: ENUMERATED, value: 1 },
  '4:1': { type: ENUMERATED, value: 0 },
};
const key = (o) => `${o.type}:${o.instance}`;

// [class, code] of a read that fails, or undefined.
function readError(objectId, property) {
  if (!objects[key(objectId)]) return [CLASS_OBJECT, UNKNOWN_OBJECT];
  if (property !== PRESENT_VALUE) return [CLASS_PROPERTY, UNKNOWN_PROPERTY];
  return undefined;
}

function write(objectId, property, value) {
  const o = objects[key(objectId)];
  if (!o) return [CLASS_OBJECT, UNKNOWN_OBJECT];
  if (property !== PRESENT_VALUE || (objectId.type !== 1 && objectId.type !== 4)) return [CLASS_PROPERTY, WRITE_ACCESS_DENIED];
  o.value = value;
  return undefined;
}

client.on('whoIs', (msg) => {
  const { lowLimit, highLimit } = msg.payload || {};
  say({ whoIs: [lowLimit, highLimit] });
  if (lowLimit !== undefined && (opt.device < lowLimit || opt.device > highLimit)) return;
  client.iAmResponse(undefined, opt.device, NO_SEGMENTATION, 999);
});

client.on('readProperty', (msg) => {
  const { objectId, property } = msg.payload;
  say({ rp: [objectId.type, objectId.instance, property.id] });
  const failure = readError(objectId, property.id);
  if (failure) return client.errorResponse(msg.header.sender, SERVICE_READ_PROPERTY, msg.invokeId, ...failure);
  const o = objects[key(objectId)];
  client.readPropertyResponse(msg.header.sender, msg.invokeId, objectId, property, [{ type: o.type, value: o.value }]);
});

client.on('readPropertyMultiple', (msg) => {
  const asked = msg.payload.properties;
  say({ rpm: asked.map((s) => [s.objectId.type, s.objectId.instance, s.properties.map((p) => p.id)]) });
  const results = asked.map((s) => ({
    objectId: s.objectId,
    values: s.properties.map((p) => {
      const failure = readError(s.objectId, p.id);
      const o = objects[key(s.objectId)];
      const value = failure ? [{ value: { type: 'BacnetError', errorClass: failure[0], errorCode: failure[1] } }]
        : [{ type: o.type, value: o.value }];
      return { property: p, value };
    }),
  }));
  client.readPropertyMultipleResponse(msg.header.sender, msg.invokeId, results);
});

client.on('writeProperty', (msg) => {
  const { objectId, value: written } = msg.payload;
  const first = written.value[0] || {};
  say({ wp: [objectId.type, objectId.instance, written.property.id, first.value, written.priority] });
  const failure = write(objectId, written.property.id, first.value);
  if (failure) return client.errorResponse(msg.header.sender, SERVICE_WRITE_PROPERTY, msg.invokeId, ...failure);
  client.simpleAckResponse(msg.header.sender, SERVICE_WRITE_PROPERTY, msg.invokeId);
});

// The library reads the first write access specification of a request; tshark shows them all.
client.on('writePropertyMultiple', (msg) => {
  const { objectId, values } = msg.payload;
  say({ wpm: [objectId.type, objectId.instance, values.map((v) => [v.property.id, (v.value[0] || {}).value, v.priority])] });
  for (const v of values) write(objectId, v.property.id, (v.value[0] || {}).value);
  client.simpleAckResponse(msg.header.sender, msg.service, msg.invokeId);
});

client.on('error', (err) => say({ error: String(err) }));
client.on('listening', () => say({ ready: true }));
process.on('SIGTERM', () => { client.close(); process.exit(0); });
