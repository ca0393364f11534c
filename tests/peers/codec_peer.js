// Independent peer for the codec tests: encodes and decodes service parameters with
// @bacnet-js/client. Reads one JSON request per line on stdin and writes one JSON line per
// request on stdout:
//   {"op":"encode","service":S,"value":V}  ->  {"hex":"..."}
//   {"op":"decode","service":S,"hex":"..."} ->  {"value":V}
// and {"error":"..."} when the library refuses. V is the canonical form the C++ tests
// build too (same keys in the same order), so the two sides compare as text.
'use strict';

const readline = require('readline');
const services = require('@bacnet-js/client/dist/lib/services');
const apdu = require('@bacnet-js/client/dist/lib/apdu');
const { ASN1_ARRAY_ALL, ApplicationTag } = require('@bacnet-js/client/dist/lib/enum');
const ERROR_TAG = ApplicationTag.ERROR;

const TAG = { NULL: 0, BOOLEAN: 1, UNSIGNED: 2, SIGNED: 3, REAL: 4, DOUBLE: 5, OCTETS: 6,
  STRING: 7, BITS: 8, ENUMERATED: 9, DATE: 10, TIME: 11, OBJECTID: 12 };

const newBuffer = () => ({ buffer: Buffer.alloc(4096), offset: 0 });
const hexOf = (b) => b.buffer.subarray(0, b.offset).toString('hex');
const oid = (pair) => ({ type: pair[0], instance: pair[1] });
const pairOf = (o) => [o.type, o.instance];
const index = (i) => (i < 0 ? ASN1_ARRAY_ALL : i);
const indexOf = (i) => (i === ASN1_ARRAY_ALL || i === undefined ? -1 : i);

// Canonical value {t, v} -> the library's application data.
function toApp(value) {
  const t = value.t;
  const v = value.v;
  switch (t) {
    case TAG.OCTETS: return { type: t, value: [...Buffer.from(v, 'hex')] };
    case TAG.BITS: {
      const bytes = [];
      v.forEach((bit, i) => {
        if ((i & 7) === 0) bytes.push(0);
        if (bit) bytes[i >> 3] |= 1 << (i & 7);
      });
      return { type: t, value: { value: bytes, bitsUsed: v.length } };
    }
    case TAG.DATE: return { type: t, value: new Date(v[0] + 1900, v[1] - 1, v[2]) };
    case TAG.TIME: return { type: t, value: new Date(2000, 0, 1, v[0], v[1], v[2], v[3] * 10) };
    case TAG.OBJECTID: return { type: t, value: oid(v) };
    default: return { type: t, value: v };
  }
}

// The library's decoded application data -> canonical value.
function fromApp(item) {
  const t = item.type;
  const v = item.value;
  switch (t) {
    case TAG.NULL: return { t, v: null };
    case TAG.OCTETS: return { t, v: Buffer.from(v).toString('hex') };
    case TAG.BITS: {
      const bits = [];
      for (let i = 0; i < v.bitsUsed; ++i) bits.push((v.value[i >> 3] >> (i & 7)) & 1);
      return { t, v: bits };
    }
    case TAG.DATE: return { t, v: [v.getFullYear() - 1900, v.getMonth() + 1, v.getDate(), v.getDay() === 0 ? 7 : v.getDay()] };
    case TAG.TIME: return { t, v: [v.getHours(), v.getMinutes(), v.getSeconds(), Math.round(v.getMilliseconds() / 10)] };
    case TAG.OBJECTID: return { t, v: pairOf(v) };
    default: return { t, v };
  }
}

const codecs = {
  whoIs: {
    encode: (b, v) => services.WhoIs.encode(b, v.low, v.high),
    decode: (buf) => {
      const r = services.WhoIs.decode(buf, 0, buf.length);
      return r && { low: r.lowLimit ?? -1, high: r.highLimit ?? -1 };
    },
  },
  iAm: {
    encode: (b, v) => services.IAm.encode(b, v.device[1], v.maxApdu, v.segmentation, v.vendor),
    decode: (buf) => {
      const r = services.IAm.decode(buf, 0);
      return r && { device: [8, r.deviceId], maxApdu: r.maxApdu, segmentation: r.segmentation, vendor: r.vendorId };
    },
  },
  whoHas: {
    encode: (b, v) => services.WhoHas.encode(b, v.low, v.high, v.object ? oid(v.object) : undefined, v.name),
    decode: (buf) => {
      const r = services.WhoHas.decode(buf, 0, buf.length);
      if (!r) return r;
      const out = { low: r.lowLimit ?? -1, high: r.highLimit ?? -1 };
      if (r.objectId) out.object = pairOf(r.objectId);
      if (r.objectName !== undefined) out.name = r.objectName;
      return out;
    },
  },
  iHave: {
    encode: (b, v) => services.IHave.encode(b, oid(v.device), oid(v.object), v.name),
    decode: (buf) => {
      const r = services.IHave.decode(buf, 0, buf.length);
      return r && { device: pairOf(r.deviceId), object: pairOf(r.objectId), name: r.objectName };
    },
  },
  readProperty: {
    encode: (b, v) => services.ReadProperty.encode(b, v.object[0], v.object[1], v.property, index(v.index)),
    decode: (buf) => {
      const r = services.ReadProperty.decode(buf, 0, buf.length);
      return r && { object: pairOf(r.objectId), property: r.property.id, index: indexOf(r.property.index) };
    },
  },
  readPropertyAck: {
    encode: (b, v) => services.ReadProperty.encodeAcknowledge(b, oid(v.object), v.property, index(v.index), v.values.map(toApp)),
    decode: (buf) => {
      const r = services.ReadProperty.decodeAcknowledge(buf, 0, buf.length);
      return r && { object: pairOf(r.objectId), property: r.property.id, index: indexOf(r.property.index), values: r.values.map(fromApp) };
    },
  },
  readPropertyMultiple: {
    encode: (b, v) => services.ReadPropertyMultiple.encode(b, v.specs.map((s) => ({
      objectId: oid(s.object), properties: s.refs.map((ref) => ({ id: ref[0], index: index(ref[1]) })),
    }))),
    decode: (buf) => {
      const r = services.ReadPropertyMultiple.decode(buf, 0, buf.length);
      return r && { specs: r.properties.map((s) => ({
        object: pairOf(s.objectId), refs: s.properties.map((p) => [p.id, indexOf(p.index)]),
      })) };
    },
  },
  readPropertyMultipleAck: {
    encode: (b, v) => services.ReadPropertyMultiple.encodeAcknowledge(b, v.results.map((res) => ({
      objectId: oid(res.object),
      values: res.items.map((item) => ({
        property: { id: item.property, index: index(item.index) },
        value: item.error
          ? [{ value: { type: 'BacnetError', errorClass: item.error[0], errorCode: item.error[1] } }]
          : item.values.map(toApp),
      })),
    }))),
    decode: (buf) => {
      const r = services.ReadPropertyMultiple.decodeAcknowledge(buf, 0, buf.length);
      return r && { results: r.values.map((res) => ({
        object: pairOf(res.objectId),
        items: res.values.map((item) => {
          const head = { property: item.id, index: indexOf(item.index) };
          const first = item.value[0];
          if (first && first.type === ERROR_TAG)
            return { ...head, error: [first.value.errorClass, first.value.errorCode] };
          return { ...head, values: item.value.map(fromApp) };
        }),
      })) };
    },
  },
  writeProperty: {
    encode: (b, v) => services.WriteProperty.encode(b, v.object[0], v.object[1], v.property, index(v.index), v.priority, v.values.map(toApp)),
    decode: (buf) => {
      const r = services.WriteProperty.decode(buf, 0, buf.length);
      if (!r) return r;
      // The library reports a missing priority as 16; the octet before the end tells.
      const priority = buf[r.len - 1] === 0x3f ? 0 : r.value.priority;
      return { object: pairOf(r.objectId), property: r.value.property.id, index: indexOf(r.value.property.index),
        priority, values: r.value.value.map(fromApp) };
    },
  },
  atomicReadFile: {
    encode: (b, v) => services.AtomicReadFile.encode(b, v.stream, oid(v.object), v.start, v.count),
    decode: (buf) => {
      const r = services.AtomicReadFile.decode(buf, 0);
      return r && { object: pairOf(r.objectId), stream: r.isStream, start: r.position, count: r.count };
    },
  },
  atomicReadFileAck: {
    encode: (b, v) => {
      const data = [...Buffer.from(v.data, 'hex')];
      services.AtomicReadFile.encodeAcknowledge(b, v.stream, v.eof, v.start, 1, [data], [data.length]);
    },
    decode: (buf) => {
      const r = services.AtomicReadFile.decodeAcknowledge(buf, 0);
      return r && { eof: r.endOfFile, stream: r.isStream, start: r.position, data: Buffer.from(r.buffer).toString('hex') };
    },
  },
  atomicWriteFile: {
    encode: (b, v) => services.AtomicWriteFile.encode(b, v.stream, oid(v.object), v.start, [[...Buffer.from(v.data, 'hex')]]),
    decode: (buf) => {
      const r = services.AtomicWriteFile.decode(buf, 0, buf.length);
      return r && { object: pairOf(r.objectId), stream: r.isStream, start: r.position,
        data: Buffer.concat(r.blocks.map((block) => Buffer.from(block))).toString('hex') };
    },
  },
  atomicWriteFileAck: {
    encode: (b, v) => services.AtomicWriteFile.encodeAcknowledge(b, v.stream, v.start),
    decode: (buf) => {
      const r = services.AtomicWriteFile.decodeAcknowledge(buf, 0);
      return r && { stream: r.isStream, start: r.position };
    },
  },
  error: {
    encode: (b, v) => services.ErrorService.encode(b, v.errorClass, v.errorCode),
    decode: (buf) => {
      const r = services.ErrorService.decode(buf, 0);
      return r && { errorClass: r.class, errorCode: r.code };
    },
  },
  // Whole answer PDUs: the header octet, invoke id and reason.
  reject: {
    encode: (b, v) => apdu.encodeAbort(b, 0x60, v.invokeId, v.reason),
    decode: (buf) => {
      const r = apdu.decodeAbort(buf, 0);
      return r.type === 0x60 ? { invokeId: r.invokeId, reason: r.reason } : undefined;
    },
  },
  abort: {
    encode: (b, v) => apdu.encodeAbort(b, 0x70 | (v.server ? 1 : 0), v.invokeId, v.reason),
    decode: (buf) => {
      const r = apdu.decodeAbort(buf, 0);
      return (r.type & 0xf0) === 0x70 ? { server: (r.type & 1) === 1, invokeId: r.invokeId, reason: r.reason } : undefined;
    },
  },
};

function handle(request) {
  const codec = codecs[request.service];
  if (!codec) return { error: `unknown service ${request.service}` };
  if (request.op === 'encode') {
    const b = newBuffer();
    codec.encode(b, request.value);
    return { hex: hexOf(b) };
  }
  if (request.op === 'decode') {
    const value = codec.decode(Buffer.from(request.hex, 'hex'));
    return value ? { value } : { error: 'refused' };
  }
  return { error: `unknown op ${request.op}` };
}

const lines = readline.createInterface({ input: process.stdin });
lines.on('line', (line) => {
  if (!line.trim()) return;
  let answer;
  try {
    answer = handle(JSON.parse(line));
  } catch (e) {
    answer = { error: String(e && e.message ? e.message : e) };
  }
  process.stdout.write(JSON.stringify(answer) + '\n');
});
