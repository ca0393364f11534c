// @bacnet-js/client on the other end of segmented exchanges; one JSON line per event.
// Usage: node segmented_peer.js <json>, with
//   {mode: "read", interface, address, type, instance, property, invokeId, maxApdu, timeout}
//     one ReadProperty; prints {ok: {type, length, value}} or {error}
//   {mode: "serve", interface}
//     answers every WriteProperty with a SimpleACK and prints {event: "write", invokeId,
//     property, type, length, value}; runs until its standard input closes
'use strict';
const { default: Bacnet } = require('@bacnet-js/client');

const req = JSON.parse(process.argv[2]);
const client = new Bacnet({ interface: req.interface, port: req.port || 47808, apduTimeout: req.timeout || 6000 });
const print = (obj) => process.stdout.write(JSON.stringify(obj) + '\n');

function describe(v) {
  const value = typeof v.value === 'string' ? v.value : JSON.stringify(v.value);
  return { type: v.type, length: value.length, value };
}

if (req.mode === 'read') {
  client.on('listening', () => {
    const options = { invokeId: req.invokeId };
    if (req.maxApdu !== undefined) options.maxApdu = req.maxApdu;
    client.readProperty({ address: req.address }, { type: req.type, instance: req.instance }, req.property, options)
      .then((r) => print({ ok: describe(r.values[0]) }), (e) => print({ error: String(e.message || e) }))
      .finally(() => { client.close(); process.exit(0); });
  });
} else {
  client.on('writeProperty', (msg) => {
    const v = msg.payload.value;
    print({ event: 'write', invokeId: msg.invokeId, property: v.property.id, ...describe(v.value[0]) });
    client.simpleAckResponse(msg.header.sender, msg.service, msg.invokeId);
  });
  client.on('listening', () => print({ event: 'listening' }));
  process.stdin.on('end', () => { client.close(); process.exit(0); });
  process.stdin.resume();
}
