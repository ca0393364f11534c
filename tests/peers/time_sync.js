// Sends one TimeSynchronization and one UTCTimeSynchronization with @bacnet-js/client to the
// given address and exits. Usage: node time_sync.js <interface ip> <receiver ip> <ISO date>
'use strict';
const { default: Bacnet } = require('@bacnet-js/client');

const [iface, receiver, when] = process.argv.slice(2);
const client = new Bacnet({ interface: iface, port: 47808 });
client.on('listening', () => {
  const date = new Date(when);
  client.timeSync({ address: receiver }, date);
  client.timeSyncUTC({ address: receiver }, date);
  console.log(JSON.stringify({ sent: 'timeSync' }));
  setTimeout(() => { client.close(); process.exit(0); }, 200);
});
