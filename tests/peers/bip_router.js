// A BACnet router between two BACnet/IP networks, played with @bacnet-js/client's transport and
// NPDU coding (no BACnet router is packaged for the test machines). It answers
// Who-Is-Router-To-Network for the network behind its other side and passes on NPDUs whose
// DNET is that network (without DNET, to DADR or as a broadcast there) and global broadcasts,
// naming the sender with SNET/SADR. The hop count is not enforced: the library's own answers
// through a router carry 0. One socket on every address of its namespace hears both sides; the
// sender's /24 subnet tells which side a datagram came from. It serves no APDU itself.
//
// Usage: node bip_router.js <json>: {sides: [{net, address, broadcast}, {net, address, broadcast}]}
// (address: the router's own address on that side). Prints JSON lines: {"ready":true}, then one
// line per message handled: {"whoIsRouter":{from, network}} (network null: every network) and
// {"passed":{from, to, dnet}}.
'use strict';
const { default: Transport } = require('@bacnet-js/client/dist/lib/transport');
const baBvlc = require('@bacnet-js/client/dist/lib/bvlc');
const baNpdu = require('@bacnet-js/client/dist/lib/npdu');
const { BvlcResultPurpose, NpduControlBit, NetworkLayerMessageType } = require('@bacnet-js/client/dist/lib/enum');

const opt = JSON.parse(process.argv[2]);
const transport = new Transport({ port: 47808, interface: '0.0.0.0', reuseAddr: true });
const say = (obj) => process.stdout.write(JSON.stringify(obj) + '\n');

const GLOBAL_NETWORK = 0xffff;
const BVLC_HEADER_LENGTH = 4;
const KEPT_CONTROL_BITS = NpduControlBit.EXPECTING_REPLY | 0x03;  // and the priority

const subnet = (ip) => ip.split('.').slice(0, 3).join('.');
const sideOf = (ip) => opt.sides.find((s) => subnet(s.address) === subnet(ip));

// "ip[:port]" and the six-octet B/IP address.
function macOf(sender) {
  const [ip, port] = sender.split(':');
  const p = Number(port || 47808);
  return [...ip.split('.').map(Number), p >> 8, p & 0xff];
}
function senderOf(mac) {
  const port = (mac[4] << 8) | mac[5];
  return mac.slice(0, 4).join('.') + (port === 47808 ? '' : `:${port}`);
}

// One NPDU on one side: to `to` ("ip[:port]"), or without it as a broadcast there.
function send(side, to, encodeHeader, data) {
  const buffer = { buffer: Buffer.alloc(1500), offset: BVLC_HEADER_LENGTH };
  encodeHeader(buffer);
  buffer.offset += data.copy(buffer.buffer, buffer.offset);
  const purpose = to ? BvlcResultPurpose.ORIGINAL_UNICAST_NPDU : BvlcResultPurpose.ORIGINAL_BROADCAST_NPDU;
  baBvlc.encode(buffer.buffer, purpose, buffer.offset);
  transport.send(buffer.buffer, buffer.offset, to || side.broadcast);
}

function answerWhoIsRouter(side, other, message, end) {
  const network = message.length >= end ? message.readUInt16BE(end - 2) : null;
  say({ whoIsRouter: { from: side.net, network } });
  if (network !== null && network !== other.net) return;
  const list = Buffer.alloc(2);
  list.writeUInt16BE(other.net);
  send(side, null, (b) => baNpdu.encode(b, NpduControlBit.NETWORK_LAYER_MESSAGE, undefined, undefined, 0,
    NetworkLayerMessageType.I_AM_ROUTER_TO_NETWORK), list);
}

function handle(message, sender) {
  const ip = sender.split(':')[0];
  const side = sideOf(ip);
  // Our own broadcasts come back to the socket.
  if (!side || opt.sides.some((s) => s.address === ip)) return;
  const other = opt.sides.find((s) => s !== side);
  const bvlc = baBvlc.decode(message, 0);
  if (!bvlc || (bvlc.func !== BvlcResultPurpose.ORIGINAL_UNICAST_NPDU &&
                bvlc.func !== BvlcResultPurpose.ORIGINAL_BROADCAST_NPDU)) return;
  const npdu = baNpdu.decode(message, bvlc.len);
  if (!npdu) return;
  const end = bvlc.len + npdu.len;  // for Who-Is-Router-To-Network the decoder counts its network too
  if (npdu.funct & NpduControlBit.NETWORK_LAYER_MESSAGE) {
    if (npdu.networkMsgType === NetworkLayerMessageType.WHO_IS_ROUTER_TO_NETWORK && !npdu.destination)
      answerWhoIsRouter(side, other, message, end);
    return;
  }
  const dnet = npdu.destination && npdu.destination.net;
  if (dnet !== GLOBAL_NETWORK && dnet !== other.net) return;
  const source = npdu.source || { net: side.net, adr: macOf(sender) };
  const adr = npdu.destination.adr;
  const to = dnet === GLOBAL_NETWORK || !adr ? null : senderOf(adr);
  send(other, to, (b) => baNpdu.encode(b, npdu.funct & KEPT_CONTROL_BITS,
    dnet === GLOBAL_NETWORK ? npdu.destination : undefined, source, Math.max(npdu.hopCount - 1, 0)),
  message.subarray(end));
  say({ passed: { from: side.net, to: other.net, dnet } });
}

transport.on('message', handle);
transport.on('error', (err) => say({ error: String(err) }));
transport.on('listening', () => say({ ready: true }));
transport.open();
process.on('SIGTERM', () => { transport.close(); process.exit(0); });
