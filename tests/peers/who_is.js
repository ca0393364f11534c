// Sends one Who-Is from the given interface address to the given broadcast address with
// @bacnet-js/client, prints the I-Am answers that arrive within the wait as JSON lines.
// Usage: node who_is.js <interface ip> <broadcast ip> [low high [wait ms]]
'use strict';
const { default: Bacnet } = require('@bacnet-js/client');

const [iface, broadcast, low, high, waitMs] = process.argv.slice(2);
const client = new Bacnet({ interface: iface, broadcastAddress: broadcast, port: 47808 });
client.on('iAm', (msg) => {
  console.log(JSON.stringify({ iAm: msg.payload.deviceId, address: msg.header.sender.address }));
});
client.on('error', (err) => {
  console.log(JSON.stringify({ error: String(err) }));
});
client.on('listening', () => {
  const options = low !== undefined ? { lowLimit: Number(low), highLimit: Number(high) } : undefined;
  client.whoIs(options);
  console.log(JSON.stringify({ sent: 'whoIs' }));
  setTimeout(() => { client.close(); process.exit(0); }, Number(waitMs || 300));
});
