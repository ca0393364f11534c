// A BACnet device played by @bacnet-js/client with Analog Values, as a remote device meets
// our remote-property cache: it answers ReadProperty and ReadPropertyMultiple of their present
// value (and the Device object's services-supported and segmentation-supported), takes
// WriteProperty of Analog Value 1's, and sends COV notifications of it when told.
//
// Usage: node analog_device.js <json options>
//   device     device instance (1234)     port       UDP port (47808)
//   broadcast  broadcast address for I-Am  value      the Analog Values' present value (21.5)
//   globalIAm  I-Am as a global broadcast, which routers pass on (else on its own network only)
//   count      Analog Values 1 to count (1), all with the one present value
// Commands on standard input, one JSON object a line:
//   {"set": 23.25}                           the present value changes
//   {"cov": 30.0, "confirmed": false}        a COV notification of that value (the device's own
//                                            value stays) to whoever asked last
//   {"silent": true}                         no request is answered until {"silent": false}
// Prints JSON lines: {"ready":true}, then one line per request served or notification sent.
'use strict';
const readline = require('readline');
const { default: Bacnet } = require('@bacnet-js/client');

const opt = Object.assign({ device: 1234, port: 47808, value: 21.5, count: 1 }, JSON.parse(process.argv[2] || '{}'));
const client = new Bacnet({ port: opt.port, broadcastAddress: opt.broadcast, apduTimeout: 3000 });
const say = (obj) => process.stdout.write(JSON.stringify(obj) + '\n');

const OBJECT_DEVICE = 8;
const OBJECT_ANALOG_VALUE = 2;
const PRESENT_VALUE = 85;
const SERVICES_SUPPORTED = 97;
const SEGMENTATION_SUPPORTED = 107;
const SERVICE_READ_PROPERTY = 12;
const SERVICE_WRITE_PROPERTY = 15;
const REAL = 4;
const BIT_STRING = 8;
const ENUMERATED = 9;
const NO_SEGMENTATION = 3;
// ReadProperty 12, ReadPropertyMultiple 14, WriteProperty 15.
const SERVICES = [12, 14, 15];

let value = opt.value;
let lastSender;
let silent = false;

function bitString(bits, used) {
  const bytes = new Array(Math.ceil(used / 8)).fill(0);
  for (const b of bits) bytes[b >> 3] |= 1 << (b & 7);
  return { bitsUsed: used, value: bytes };
}

// The value of one property, or undefined when the device has no such property.
function propertyValue(objectId, property) {
  if (objectId.type === OBJECT_DEVICE && objectId.instance === opt.device) {
    if (property === SERVICES_SUPPORTED) return [{ type: BIT_STRING, value: bitString(SERVICES, 40) }];
    if (property === SEGMENTATION_SUPPORTED) return [{ type: ENUMERATED, value: NO_SEGMENTATION }];
  }
  if (objectId.type === OBJECT_ANALOG_VALUE && objectId.instance >= 1 && objectId.instance <= opt.count &&
      property === PRESENT_VALUE)
    return [{ type: REAL, value }];
  return undefined;
}

client.on('whoIs', (msg) => {
  if (silent) return;
  const { lowLimit, highLimit } = msg.payload || {};
  if (lowLimit !== undefined && (opt.device < lowLimit || opt.device > highLimit)) return;
  client.iAmResponse(opt.globalIAm ? { net: 0xffff } : undefined, opt.device, NO_SEGMENTATION, 999);
});

client.on('readProperty', (msg) => {
  if (silent) return;
  const { objectId, property } = msg.payload;
  lastSender = msg.header.sender;
  say({ readProperty: { type: objectId.type, instance: objectId.instance, property: property.id } });
  const v = propertyValue(objectId, property.id);
  if (v === undefined) client.errorResponse(msg.header.sender, SERVICE_READ_PROPERTY, msg.invokeId, 2, 32);
  else client.readPropertyResponse(msg.header.sender, msg.invokeId, objectId, property, v);
});

client.on('readPropertyMultiple', (msg) => {
  if (silent) return;
  lastSender = msg.header.sender;
  const asked = msg.payload.properties;
  say({ readPropertyMultiple: asked.map((s) => ({ type: s.objectId.type, instance: s.objectId.instance,
    properties: s.properties.map((p) => p.id) })) });
  const results = asked.map((s) => ({
    objectId: s.objectId,
    values: s.properties.map((p) => {
      const v = propertyValue(s.objectId, p.id);
      return { property: p, value: v !== undefined ? v : [{ value: { type: 'BacnetError', errorClass: 2, errorCode: 32 } }] };
    }),
  }));
  client.readPropertyMultipleResponse(msg.header.sender, msg.invokeId, results);
});

client.on('writeProperty', (msg) => {
  if (silent) return;
  const { objectId, value: written } = msg.payload;
  lastSender = msg.header.sender;
  const first = written.value[0] || {};
  say({ writeProperty: { type: objectId.type, instance: objectId.instance, property: written.property.id,
    value: first.value, priority: written.priority } });
  if (objectId.type !== OBJECT_ANALOG_VALUE || objectId.instance !== 1 || written.property.id !== PRESENT_VALUE ||
      first.type !== REAL) {
    client.errorResponse(msg.header.sender, SERVICE_WRITE_PROPERTY, msg.invokeId, 2, 9);
    return;
  }
  value = first.value;
  client.simpleAckResponse(msg.header.sender, SERVICE_WRITE_PROPERTY, msg.invokeId);
});

async function notify(v, confirmed) {
  if (!lastSender) return say({ error: 'nobody asked yet' });
  const receiver = { address: lastSender.address };
  // No index and no priority: the property value carries the present value alone.
  const values = [{ property: { id: PRESENT_VALUE }, value: [{ type: REAL, value: v }] }];
  const object = { type: OBJECT_ANALOG_VALUE, instance: 1 };
  try {
    if (confirmed) await client.confirmedCOVNotification(receiver, object, 7, opt.device, 300, values);
    else client.unconfirmedCOVNotification(receiver, 7, opt.device, object, 300, values);
    say({ notified: v, confirmed: !!confirmed, acknowledged: !!confirmed });
  } catch (err) {
    say({ notified: v, confirmed: !!confirmed, acknowledged: false, error: String(err) });
  }
}

readline.createInterface({ input: process.stdin }).on('line', (line) => {
  let command;
  try {
    command = JSON.parse(line);
  } catch (err) {
    return say({ error: `not JSON: ${line}` });
  }
  if ('set' in command) {
    value = command.set;
    say({ value });
  } else if ('cov' in command) {
    notify(command.cov, command.confirmed);
  } else if ('silent' in command) {
    silent = !!command.silent;
    say({ silent });
  }
});

client.on('error', (err) => say({ error: String(err) }));
client.on('listening', () => say({ ready: true }));
process.on('SIGTERM', () => { client.close(); process.exit(0); });
