// A device played by @bacnet-js/client whose ReadProperty answers depend on the property, so
// that one peer gives every outcome a client call can have:
//   77 (object-name)  the name as a CharacterString
//   28 (description)  Error class 2 (property), code 32 (unknown-property)
//   58 (location)     Reject, reason 9 (unrecognized-service)
//   79 (object-type)  Abort, reason 4 (segmentation-not-supported)
//   any other         no answer at all
// Who-Is is answered with an I-Am; time synchronisations are printed.
//
// Usage: node outcome_unit.js <json options>: device (1234), port (47808), name, broadcast.
// Prints JSON lines: {"ready":true} once listening, then one line per request served.
'use strict';
const { default: Bacnet } = require('@bacnet-js/client');
const baApdu = require('@bacnet-js/client/dist/lib/apdu');
const baNpdu = require('@bacnet-js/client/dist/lib/npdu');

const opt = Object.assign({ device: 1234, port: 47808, name: 'ZOR17 Raum', broadcast: undefined }, JSON.parse(process.argv[2] || '{}'));
const client = new Bacnet({ port: opt.port, broadcastAddress: opt.broadcast, apduTimeout: 3000 });
const say = (obj) => process.stdout.write(JSON.stringify(obj) + '\n');

const SERVICE_READ_PROPERTY = 12;
const REJECT = 0x60;
const ABORT_FROM_SERVER = 0x71;
const CHARACTER_STRING = 7;

function sendApdu(receiver, encode) {
  const buffer = client._getApduBuffer(receiver);
  baNpdu.encode(buffer, 0, receiver);
  encode(buffer);
  client.sendBvlc(receiver, buffer);
}

function rawPdu(receiver, octets) {
  sendApdu(receiver, (buffer) => {
    for (const o of octets) buffer.buffer[buffer.offset++] = o;
  });
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
  say({ readProperty: { type: objectId.type, instance: objectId.instance, property: property.id, invokeId: msg.invokeId } });
  switch (property.id) {
    case 77:
      client.readPropertyResponse(sender, msg.invokeId, objectId, property, [{ type: CHARACTER_STRING, value: opt.name }]);
      break;
    case 28:
      client.errorResponse(sender, SERVICE_READ_PROPERTY, msg.invokeId, 2, 32);
      break;
    case 58:
      rawPdu(sender, [REJECT, msg.invokeId, 9]);
      break;
    case 79:
      rawPdu(sender, [ABORT_FROM_SERVER, msg.invokeId, 4]);
      break;
    default:
      break;
  }
});

client.on('timeSync', (msg) => say({ timeSync: String(msg.payload && msg.payload.dateTime) }));
client.on('error', (err) => say({ error: String(err) }));
client.on('listening', () => say({ ready: true }));
process.on('SIGTERM', () => { client.close(); process.exit(0); });
