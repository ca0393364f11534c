// Independent peer for the codec tests: encodes and decodes service parameters with
// @bacnet-js/client. Where the library's own encoder mis-writes a field (the COV
// notification's index and priority), the request is shaped so that it writes what the
// canonical value says. Reads one JSON request per line on stdin and writes one JSON line per
// request on stdout:
//   {"op":"encode","service":S,"value":V}  ->  {"hex":"..."}
//   {"op":"decode","service":S,"hex":"..."} ->  {"value":V}
// and {"error":"..."} when the library refuses. V is the canonical form the C++ tests
// build too (same keys in the same order), so the two sides compare as text.
'use strict';

const readline = require('readline');
const services = require('@bacnet-js/client/dist/lib/services');
const { ASN1_ARRAY_ALL, ASN1_NO_PRIORITY, ApplicationTag, TimeStamp, ReadRangeType } =
  require('@bacnet-js/client/dist/lib/enum');
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


// Bit strings: canonical [0,1,...] <-> the library's bytes (bit 0 in the lowest bit).
function bitsToPeer(bits) {
  const bytes = [];
  bits.forEach((bit, i) => {
    if ((i & 7) === 0) bytes.push(0);
    if (bit) bytes[i >> 3] |= 1 << (i & 7);
  });
  return { value: bytes, bitsUsed: bits.length };
}
function bitsFromPeer(b) {
  const bits = [];
  for (let i = 0; i < b.bitsUsed; ++i) bits.push((b.value[i >> 3] >> (i & 7)) & 1);
  return bits;
}

// Date and time: canonical [year-1900, month, day, weekday, hour, minute, second, hundredths].
const dateOf = (v) => new Date(v[0] + 1900, v[1] - 1, v[2], v[4], v[5], v[6], v[7] * 10);
const datetimeOf = (d) => [d.getFullYear() - 1900, d.getMonth() + 1, d.getDate(), d.getDay() === 0 ? 7 : d.getDay(),
  d.getHours(), d.getMinutes(), d.getSeconds(), Math.round(d.getMilliseconds() / 10)];
const timeOf = (d) => [d.getHours(), d.getMinutes(), d.getSeconds(), Math.round(d.getMilliseconds() / 10)];

// Time stamps: {seq: n}, {time: [h, m, s, hh]} or {datetime: [...]}.
function stampToPeer(stamp) {
  if (stamp.seq !== undefined) return { type: TimeStamp.SEQUENCE_NUMBER, value: stamp.seq };
  if (stamp.time !== undefined) return { type: TimeStamp.TIME, value: new Date(2000, 0, 1, ...stamp.time.slice(0, 3), stamp.time[3] * 10) };
  return { type: TimeStamp.DATETIME, value: dateOf(stamp.datetime) };
}
function stampFromPeer(stamp) {
  if (stamp.type === TimeStamp.SEQUENCE_NUMBER) return { seq: stamp.value };
  if (stamp.type === TimeStamp.TIME) return { time: timeOf(stamp.value) };
  return { datetime: datetimeOf(stamp.value) };
}
// Decoders that hand back the bare value: a number is a sequence number, a date a date-time.
const bareStampFromPeer = (v) => (typeof v === 'number' ? { seq: v } : { datetime: datetimeOf(v) });

// Property values: {property, index, priority, values: [canonical values]}.
const propertyToPeer = (pv) => ({
  property: { id: pv.property, index: pv.index < 0 ? ASN1_ARRAY_ALL : pv.index },
  value: pv.values.map(toApp),
  priority: pv.priority || ASN1_NO_PRIORITY,
});
const propertyFromPeer = (pv) => ({
  property: pv.property.id, index: indexOf(pv.property.index), priority: pv.priority || 0,
  values: pv.value.map(fromApp),
});
const rawHex = (b) => Buffer.from(b).toString('hex');

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
  acknowledgeAlarm: {
    encode: (b, v) => services.AlarmAcknowledge.encode(b, v.process, oid(v.object), v.state, v.source,
      stampToPeer(v.stamp), stampToPeer(v.ackStamp)),
    decode: (buf) => {
      const r = services.AlarmAcknowledge.decode(buf, 0, buf.length);
      return r && { process: r.acknowledgedProcessId, object: pairOf(r.eventObjectId), state: r.eventStateAcknowledged,
        stamp: bareStampFromPeer(r.eventTimeStamp), source: r.acknowledgeSource, ackStamp: bareStampFromPeer(r.acknowledgeTimeStamp) };
    },
  },
  covNotification: {
    // The library writes the index only when it is the "all" marker and the priority only when
    // it is "none": give it neither, so that it writes the value list as the canonical form has it.
    encode: (b, v) => services.CovNotify.encode(b, v.process, v.device[1], oid(v.object), v.remaining,
      v.values.map((pv) => ({ property: { id: pv.property }, value: pv.values.map(toApp) }))),
    decode: (buf) => {
      const r = services.CovNotify.decode(buf, 0, buf.length);
      return r && { process: r.subscriberProcessId, device: pairOf(r.initiatingDeviceId), object: pairOf(r.monitoredObjectId),
        remaining: r.timeRemaining, values: r.values.map((pv) => ({ property: pv.property.id, values: pv.value.map(fromApp) })) };
    },
  },
  eventNotification: {
    encode: (b, v) => {
      const data = { processId: v.process, initiatingObjectId: oid(v.device), eventObjectId: oid(v.object),
        timeStamp: stampToPeer(v.stamp), notificationClass: v.class, priority: v.priority, eventType: v.eventType,
        messageText: v.message, notifyType: v.notifyType, ackRequired: v.ackRequired, fromState: v.fromState,
        toState: v.toState };
      const p = v.params;
      switch (v.eventType) {
        case 0: data.changeOfBitstringReferencedBitString = bitsToPeer(p.bits); data.changeOfBitstringStatusFlags = bitsToPeer(p.status); break;
        case 1: data.changeOfStateNewState = { type: p.state[0], state: p.state[1] }; data.changeOfStateStatusFlags = bitsToPeer(p.status); break;
        case 2:
          data.changeOfValueTag = p.bits ? 1 : 0;
          if (p.bits) data.changeOfValueChangedBits = bitsToPeer(p.bits); else data.changeOfValueChangeValue = p.value;
          data.changeOfValueStatusFlags = bitsToPeer(p.status);
          break;
        case 4: Object.assign(data, { floatingLimitReferenceValue: p.reference, floatingLimitStatusFlags: bitsToPeer(p.status),
          floatingLimitSetPointValue: p.setpoint, floatingLimitErrorLimit: p.error }); break;
        case 5: Object.assign(data, { outOfRangeExceedingValue: p.exceeding, outOfRangeStatusFlags: bitsToPeer(p.status),
          outOfRangeDeadband: p.deadband, outOfRangeExceededLimit: p.exceeded }); break;
        case 10: Object.assign(data, { bufferReadyBufferProperty: { objectId: oid(p.buffer.object), id: p.buffer.property,
          arrayIndex: ASN1_ARRAY_ALL, deviceIndentifier: oid(p.buffer.device) },
        bufferReadyPreviousNotification: p.previous, bufferReadyCurrentNotification: p.current }); break;
        default: break;
      }
      services.EventNotifyData.encode(b, data);
    },
    // The library reads no notification parameters.
    decode: (buf) => {
      const r = services.EventNotifyData.decode(buf, 0);
      if (!r) return r;
      const out = { process: r.processId, device: pairOf(r.initiatingObjectId), object: pairOf(r.eventObjectId),
        stamp: { datetime: datetimeOf(r.timeStamp.value) }, class: r.notificationClass, priority: r.priority, eventType: r.eventType };
      if (r.messageText !== undefined) out.message = r.messageText;
      out.notifyType = r.notifyType;
      if (r.ackRequired !== undefined) { out.ackRequired = r.ackRequired; out.fromState = r.fromState; }
      out.toState = r.toState;
      return out;
    },
  },
  getAlarmSummaryAck: {
    decode: (buf) => {
      const r = services.AlarmSummary.decode(buf, 0, buf.length);
      return r && { alarms: r.alarms.map((a) => ({ object: pairOf(a.objectId), state: a.alarmState,
        acked: bitsFromPeer(a.acknowledgedTransitions) })) };
    },
  },
  getEnrollmentSummary: {
    encode: (b, v) => services.GetEnrollmentSummary.encode(b, v.ackFilter,
      v.enrollment && { objectId: oid(v.enrollment.device), processId: v.enrollment.process }, undefined, undefined,
      v.priorities && { min: v.priorities[0], max: v.priorities[1] }, undefined),
    decode: (buf) => {
      const r = services.GetEnrollmentSummary.decode(buf, 0);
      if (!r) return r;
      const out = { ackFilter: r.acknowledgmentFilter };
      if (r.enrollmentFilter) out.enrollment = { device: pairOf(r.enrollmentFilter.objectId), process: r.enrollmentFilter.processId };
      if (r.priorityFilter) out.priorities = [r.priorityFilter.min, r.priorityFilter.max];
      return out;
    },
  },
  getEnrollmentSummaryAck: {
    encode: (b, v) => services.GetEnrollmentSummary.encodeAcknowledge(b, v.summaries.map((e) => ({
      objectId: oid(e.object), eventType: e.eventType, eventState: e.eventState, priority: e.priority, notificationClass: e.class }))),
    decode: (buf) => {
      const r = services.GetEnrollmentSummary.decodeAcknowledge(buf, 0, buf.length);
      return r && { summaries: r.enrollmentSummaries.map((e) => ({ object: pairOf(e.objectId), eventType: e.eventType,
        eventState: e.eventState, priority: e.priority, class: e.notificationClass })) };
    },
  },
  getEventInformation: {
    encode: (b, v) => services.GetEventInformation.encode(b, oid(v.last)),
    decode: (buf) => {
      const r = services.GetEventInformation.decode(buf, 0);
      return r && r.lastReceivedObjectId && { last: pairOf(r.lastReceivedObjectId) };
    },
  },
  getEventInformationAck: {
    encode: (b, v) => services.GetEventInformation.encodeAcknowledge(b, v.events.map((e) => ({
      objectId: oid(e.object), eventState: e.state, acknowledgedTransitions: bitsToPeer(e.acked),
      eventTimeStamps: e.stamps.map(stampToPeer), notifyType: e.notifyType, eventEnable: bitsToPeer(e.enable),
      eventPriorities: e.priorities })), v.more),
    decode: (buf) => {
      const r = services.GetEventInformation.decodeAcknowledge(buf, 0, buf.length);
      return r && { events: r.events.map((e) => ({ object: pairOf(e.objectId), state: e.eventState,
        acked: bitsFromPeer(e.acknowledgedTransitions), stamps: e.eventTimeStamps.map(stampFromPeer), notifyType: e.notifyType,
        enable: bitsFromPeer(e.eventEnable), priorities: e.eventPriorities })), more: r.moreEvents };
    },
  },
  subscribeCov: {
    encode: (b, v) => services.SubscribeCov.encode(b, v.process, oid(v.object), v.cancel, v.confirmed, v.lifetime),
    decode: (buf) => {
      const r = services.SubscribeCov.decode(buf, 0, buf.length);
      if (!r) return r;
      const out = { process: r.subscriberProcessId, object: pairOf(r.monitoredObjectId), cancel: r.cancellationRequest };
      if (!r.cancellationRequest) Object.assign(out, { confirmed: r.issueConfirmedNotifications, lifetime: r.lifetime });
      return out;
    },
  },
  listElement: {
    encode: (b, v) => services.AddListElement.encode(b, oid(v.object), v.property, index(v.index), v.values.map(toApp)),
    decode: (buf) => {
      const r = services.AddListElement.decode(buf, 0, buf.length);
      return r && { object: pairOf(r.objectId), property: r.property.id, index: indexOf(r.property.index), values: r.values.map(fromApp) };
    },
  },
  createObject: {
    encode: (b, v) => services.CreateObject.encode(b, oid(v.object), v.values.map(propertyToPeer)),
    decode: (buf) => {
      const r = services.CreateObject.decode(buf, 0, buf.length);
      return r && { object: pairOf(r.objectId), values: r.values.map((pv) => ({ property: pv.property.id,
        index: indexOf(pv.property.index), priority: 0, values: pv.value.map(fromApp) })) };
    },
  },
  createObjectAck: {
    encode: (b, v) => services.CreateObject.encodeAcknowledge(b, oid(v.object)),
  },
  deleteObject: {
    encode: (b, v) => services.DeleteObject.encode(b, oid(v.object)),
    decode: (buf) => {
      const r = services.DeleteObject.decode(buf, 0, buf.length);
      return r && { object: [r.objectType, r.instance] };
    },
  },
  writePropertyMultiple: {
    encode: (b, v) => services.WritePropertyMultiple.encodeObject(b, v.specs.map((spec) => ({
      objectId: oid(spec.object), values: spec.values.map(propertyToPeer) }))),
    // The library reads one specification only.
    decode: (buf) => {
      const r = services.WritePropertyMultiple.decode(buf, 0, buf.length);
      return r && { specs: [{ object: pairOf(r.objectId), values: r.values.map(propertyFromPeer) }] };
    },
  },
  deviceCommunicationControl: {
    encode: (b, v) => services.DeviceCommunicationControl.encode(b, v.duration || 0, v.enable, v.password),
    decode: (buf) => {
      const r = services.DeviceCommunicationControl.decode(buf, 0, buf.length);
      if (!r) return r;
      const out = {};
      if (r.timeDuration !== undefined) out.duration = r.timeDuration;
      out.enable = r.enableDisable;
      if (r.password !== undefined) out.password = r.password;
      return out;
    },
  },
  privateTransfer: {
    encode: (b, v) => services.PrivateTransfer.encode(b, v.vendor, v.service, [...Buffer.from(v.data, 'hex')]),
    decode: (buf) => {
      const r = services.PrivateTransfer.decode(buf, 0, buf.length);
      return r && { vendor: r.vendorId, service: r.serviceNumber, data: rawHex(r.data) };
    },
  },
  reinitializeDevice: {
    encode: (b, v) => services.ReinitializeDevice.encode(b, v.state, v.password),
    decode: (buf) => {
      const r = services.ReinitializeDevice.decode(buf, 0, buf.length);
      if (!r) return r;
      const out = { state: r.state };
      if (r.password !== undefined) out.password = r.password;
      return out;
    },
  },
  readRange: {
    encode: (b, v) => {
      const r = v.range;
      if (r.position) services.ReadRange.encode(b, oid(v.object), v.property, index(v.index), ReadRangeType.BY_POSITION, r.position[0], undefined, r.position[1]);
      else if (r.sequence) services.ReadRange.encode(b, oid(v.object), v.property, index(v.index), ReadRangeType.BY_SEQUENCE_NUMBER, r.sequence[0], undefined, r.sequence[1]);
      else services.ReadRange.encode(b, oid(v.object), v.property, index(v.index), ReadRangeType.BY_TIME_REFERENCE_TIME_COUNT, 0, dateOf(r.time[0]), r.time[1]);
    },
    decode: (buf) => {
      const r = services.ReadRange.decode(buf, 0, buf.length);
      if (!r) return r;
      const range = r.requestType === ReadRangeType.BY_POSITION ? { position: [r.position, r.count] }
        : r.requestType === ReadRangeType.BY_SEQUENCE_NUMBER ? { sequence: [r.position, r.count] }
          : { time: [datetimeOf(r.time), r.count] };
      return { object: pairOf(r.objectId), property: r.property.id, index: indexOf(r.property.index), range };
    },
  },
  readRangeAck: {
    encode: (b, v) => services.ReadRange.encodeAcknowledge(b, oid(v.object), v.property, index(v.index), bitsToPeer(v.flags),
      v.count, Buffer.from(v.items, 'hex'), ReadRangeType.BY_POSITION, 0),
    // The library reads no first sequence number.
    decode: (buf) => {
      const r = services.ReadRange.decodeAcknowledge(buf, 0, buf.length);
      return r && { object: pairOf(r.objectId), property: r.property.id, index: indexOf(r.property.index),
        flags: bitsFromPeer(r.resultFlag), count: r.itemCount, items: rawHex(r.rangeBuffer) };
    },
  },
  timeSync: {
    encode: (b, v) => services.TimeSync.encode(b, dateOf(v.datetime)),
    decode: (buf) => {
      const r = services.TimeSync.decode(buf, 0);
      return r && { datetime: datetimeOf(r.value) };
    },
  },
};

function handle(request) {
  const codec = codecs[request.service];
  if (!codec) return { error: `unknown service ${request.service}` };
  if (request.op === 'encode') {
    if (!codec.encode) return { error: `no encoder for ${request.service}` };
    const b = newBuffer();
    codec.encode(b, request.value);
    return { hex: hexOf(b) };
  }
  if (request.op === 'decode') {
    if (!codec.decode) return { error: `no decoder for ${request.service}` };
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
