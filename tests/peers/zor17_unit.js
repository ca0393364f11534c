// A simulated ZOR17 room operating unit on BACnet/IP, played by @bacnet-js/client: a Device
// with a model name and File objects 1-5 that hold the unit's register blocks.
//
// Usage: node zor17_unit.js <json options>
//   device      device instance (default 1234)
//   interface   address to send from (the socket listens on all addresses for broadcasts)
//   broadcast   broadcast address for I-Am
//   port        UDP port (47808)
//   model       Model_Name (default "ZOR17_BACnet")
//   name        Object_Name, version Application_Software_Version
//   files       folder with file1.bin..file5.bin; reads come from there, writes go there
//   mode        "normal" | "short" (file reads return half) | "error" (file requests get an
//               Error class 5 code 2 ... see errorClass/errorCode) | "silent" (no file answers)
//   errorClass, errorCode   for mode "error" (default 5 and 2)
//
// Prints JSON lines: {"ready":true} once listening, then one line per request served.
'use strict';
const fs = require('fs');
const path = require('path');
const { default: Bacnet } = require('@bacnet-js/client');
const baApdu = require('@bacnet-js/client/dist/lib/apdu');
const baNpdu = require('@bacnet-js/client/dist/lib/npdu');
const services = require('@bacnet-js/client/dist/lib/services');

const opt = Object.assign({
  device: 1234, port: 47808, model: 'ZOR17_BACnet', name: 'ZOR17 Raum', version: '1.0',
  mode: 'normal', errorClass: 5, errorCode: 2,
}, JSON.parse(process.argv[2] || '{}'));

const OBJECT_DEVICE = 8;
const OBJECT_FILE = 10;
const SERVICE_READ_PROPERTY = 12;
const SERVICE_ATOMIC_READ_FILE = 6;
const SERVICE_ATOMIC_WRITE_FILE = 7;
const COMPLEX_ACK = 0x30;
const CHARACTER_STRING = 7;

const client = new Bacnet({ port: opt.port, broadcastAddress: opt.broadcast, apduTimeout: 3000 });
const say = (obj) => process.stdout.write(JSON.stringify(obj) + '\n');

function fileName(instance) {
  return path.join(opt.files, `file${instance}.bin`);
}

function sendApdu(receiver, encode) {
  const buffer = client._getApduBuffer(receiver);
  baNpdu.encode(buffer, 0, receiver);
  encode(buffer);
  client.sendBvlc(receiver, buffer);
}

client.on('whoIs', (msg) => {
  const { lowLimit, highLimit } = msg.payload || {};
  say({ whoIs: { low: lowLimit, high: highLimit, from: msg.header.sender.address } });
  if (lowLimit !== undefined && (opt.device < lowLimit || opt.device > highLimit)) return;
  client.iAmResponse(undefined, opt.device, 3, 999);
});

client.on('readProperty', (msg) => {
  const { objectId, property } = msg.payload;
  const sender = msg.header.sender;
  say({ readProperty: { type: objectId.type, instance: objectId.instance, property: property.id } });
  const strings = { 77: opt.name, 12: opt.version, 70: opt.model, 121: 'Morvane' };
  if (objectId.type !== OBJECT_DEVICE || objectId.instance !== opt.device || !(property.id in strings)) {
    client.errorResponse(sender, SERVICE_READ_PROPERTY, msg.invokeId, 2, 32);
    return;
  }
  client.readPropertyResponse(sender, msg.invokeId, objectId, property,
    [{ type: CHARACTER_STRING, value: strings[property.id] }]);
});

function fileRefused(msg, service) {
  const { objectId } = msg.payload;
  if (opt.mode === 'silent') return true;
  if (opt.mode === 'error' || objectId.type !== OBJECT_FILE || objectId.instance < 1 || objectId.instance > 5) {
    client.errorResponse(msg.header.sender, service, msg.invokeId, opt.errorClass, opt.errorCode);
    return true;
  }
  return false;
}

client.on('atomicReadFile', (msg) => {
  const { objectId, position, count } = msg.payload;
  say({ readFile: { instance: objectId.instance, position, count } });
  if (fileRefused(msg, SERVICE_ATOMIC_READ_FILE)) return;
  const data = fs.readFileSync(fileName(objectId.instance));
  let octets = data.subarray(position, position + count);
  if (opt.mode === 'short') octets = octets.subarray(0, Math.floor(octets.length / 2));
  const endOfFile = position + octets.length >= data.length;
  sendApdu(msg.header.sender, (buffer) => {
    baApdu.encodeComplexAck(buffer, COMPLEX_ACK, SERVICE_ATOMIC_READ_FILE, msg.invokeId);
    services.AtomicReadFile.encodeAcknowledge(buffer, true, endOfFile, position, 1, [Array.from(octets)], [octets.length]);
  });
});

client.on('atomicWriteFile', (msg) => {
  const { objectId, position, blocks } = msg.payload;
  const octets = Buffer.from(blocks[0] || []);
  say({ writeFile: { instance: objectId.instance, position, octets: octets.toString('hex') } });
  if (fileRefused(msg, SERVICE_ATOMIC_WRITE_FILE)) return;
  const file = fileName(objectId.instance);
  const data = fs.existsSync(file) ? fs.readFileSync(file) : Buffer.alloc(0);
  const start = position < 0 ? data.length : position;
  const out = Buffer.alloc(Math.max(data.length, start + octets.length));
  data.copy(out);
  octets.copy(out, start);
  fs.writeFileSync(file, out);
  sendApdu(msg.header.sender, (buffer) => {
    baApdu.encodeComplexAck(buffer, COMPLEX_ACK, SERVICE_ATOMIC_WRITE_FILE, msg.invokeId);
    services.AtomicWriteFile.encodeAcknowledge(buffer, true, start);
  });
});

client.on('error', (err) => say({ error: String(err) }));
client.on('listening', () => say({ ready: true }));
process.on('SIGTERM', () => { client.close(); process.exit(0); });
