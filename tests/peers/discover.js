// Broadcasts one Who-Is with @bacnet-js/client from a socket that listens on every address, so
// that broadcast I-Am answers reach it too, and prints the answers that arrive within the wait
// as JSON lines. Usage: node discover.js <broadcast ip> [low high [wait ms]]
'use strict';
const { default: Bacnet } = require('@bacnet-js/client');

const [broadcast, low, high, waitMs] = process.argv.slice(2);
const client = new Bacnet({ broadcastAddress: broadcast, port: 47808 });
client.on('iAm', (msg) => {
  const p = msg.payload;
  console.log(JSON.stringify({ iAm: p.deviceId, maxApdu: p.maxApdu, segmentation: p.segmentation,
    vendor: p.vendorId, address: msg.header.sender.address }));
});
client.on('error', (err) => console.log(JSON.stringify({ error: String(err) })));
client.on('listening', () => {
  const options = low !== undefined ? { lowLimit: Number(low), highLimit: Number(high) } : undefined;
  client.whoIs(options);
  console.log(JSON.stringify({ sent: 'whoIs' }));
  setTimeout(() => { client.close(); process.exit(0); }, Number(waitMs || 500));
});
