// A series of confirmed requests from @bacnet-js/client to one device, one after the other, each
// printed as a JSON line: {ok: answer} or {error: text, errorClass, errorCode}. Usage:
//   node server_calls.js <json>, with {interface, address, timeout, calls: [{op, ...}, ...]}
// Operations: readProperty {type, instance, property, index}, readPropertyMultiple {specs:
// [{type, instance, properties: [id, ...]}]}, writeProperty {type, instance, property, tag,
// value, priority}, createObject {type, instance}, deleteObject {type, instance}, readFile
// {instance, position, count}, writeFile {instance, position, hex}, communicationControl
// {duration, state, password}, reinitialize {state, password}, subscribeCov {type, instance,
// process, confirmed, lifetime, cancel}, acknowledgeAlarm {type, instance, state, stamp:
// "event" (the stamp of the last event notification of the object) or "wrong" (one second
// off)}, getAlarmSummary, getEventInformation, getEnrollmentSummary {ackFilter},
// addListElement and removeListElement {type, instance, property, index, values: [{type, value}]}
// (or, for an exception schedule, events: [{date, events, priority}] as the library writes them),
// readRange {type, instance, position, count} (by position, the records decoded),
// confirmedRaw {service, hex, maxApdu} (any confirmed service from its encoded parameters; the answer's
// parameters come back as hex), pause {ms}, walk {instance} (as an EPICS is taken: every object of
// the device's object list, every property its ReadPropertyMultiple of all names, each also read
// on its own; the answer lists the objects, counts the properties and names every error met,
// with the service that met it), together {calls} (the calls sent at once, as one burst; the
// answer lists their outcomes in order).
// Every notification the device sends is printed as a line "N {...}" and, when confirmed,
// acknowledged.
'use strict';
const { default: Bacnet, ApplicationTag } = require('@bacnet-js/client');
const baApdu = require('@bacnet-js/client/dist/lib/apdu');
const baNpdu = require('@bacnet-js/client/dist/lib/npdu');
const baAsn1 = require('@bacnet-js/client/dist/lib/asn1');
const { WriteProperty } = require('@bacnet-js/client/dist/lib/services');

const req = JSON.parse(process.argv[2]);
const client = new Bacnet({ interface: req.interface, port: req.port || 47808, apduTimeout: req.timeout || 3000 });
const receiver = { address: req.address };
const NO_INDEX = 0xffffffff;

const plain = (values) => values.map((v) => ({ type: v.type, value: v.value }));
const eventStamps = {};  // the time stamp of the last event notification, by object

function notified(kind, content) {
  const p = content.payload;
  const line = { kind, confirmed: content.invokeId !== undefined };
  if (kind === 'cov') {
    Object.assign(line, { process: p.subscriberProcessId, object: p.monitoredObjectId, timeRemaining: p.timeRemaining,
      values: p.values.map((v) => ({ property: v.property.id, values: plain(v.value) })) });
  } else {
    Object.assign(line, { process: p.processId, object: p.eventObjectId, notifyType: p.notifyType, eventType: p.eventType,
      fromState: p.fromState, toState: p.toState, priority: p.priority, ackRequired: p.ackRequired,
      message: p.messageText });
    if (p.notifyType !== 2)
      eventStamps[`${p.eventObjectId.type}:${p.eventObjectId.instance}`] = p.timeStamp;
  }
  process.stdout.write('N ' + JSON.stringify(line) + '\n');
  if (line.confirmed)
    client.simpleAckResponse(content.header.sender, content.service, content.invokeId);
}
client.on('covNotify', (c) => notified('cov', c));
client.on('covNotifyUnconfirmed', (c) => notified('cov', c));
client.on('eventNotify', (c) => notified('event', c));

const operations = {
  async readProperty(c) {
    const options = c.index === undefined ? {} : { arrayIndex: c.index };
    const r = await client.readProperty(receiver, { type: c.type, instance: c.instance }, c.property, options);
    return { values: plain(r.values) };
  },
  async readPropertyMultiple(c) {
    const specs = c.specs.map((s) => ({
      objectId: { type: s.type, instance: s.instance },
      properties: s.properties.map((id) => ({ id, index: NO_INDEX })),
    }));
    const r = await client.readPropertyMultiple(receiver, specs);
    return r.values.map((o) => ({
      object: o.objectId,
      results: o.values.map((p) => ({ property: p.id, values: plain(p.value) })),
    }));
  },
  async writeProperty(c) {
    await client.writeProperty(receiver, { type: c.type, instance: c.instance }, c.property,
      [{ type: c.tag, value: c.value }], { priority: c.priority });
    return {};
  },
  async createObject(c) {
    await client.createObject(receiver, { type: c.type, instance: c.instance }, []);
    return {};
  },
  async deleteObject(c) {
    await client.deleteObject(receiver, { type: c.type, instance: c.instance });
    return {};
  },
  async readFile(c) {
    const r = await client.readFile(receiver, { type: 10, instance: c.instance }, c.position, c.count);
    return { endOfFile: r.endOfFile, position: r.position, hex: Buffer.from(r.buffer).toString('hex') };
  },
  async writeFile(c) {
    const data = Array.from(Buffer.from(c.hex, 'hex'));
    const r = await client.writeFile(receiver, { type: 10, instance: c.instance }, c.position, [data]);
    return { position: r.position };
  },
  async communicationControl(c) {
    await client.deviceCommunicationControl(receiver, c.duration || 0, c.state, { password: c.password });
    return {};
  },
  async reinitialize(c) {
    await client.reinitializeDevice(receiver, c.state, { password: c.password });
    return {};
  },
  async subscribeCov(c) {
    await client.subscribeCov(receiver, { type: c.type, instance: c.instance }, c.process, !!c.cancel, !!c.confirmed,
      c.lifetime || 0);
    return {};
  },
  async acknowledgeAlarm(c) {
    const stamp = eventStamps[`${c.type}:${c.instance}`];
    const when = new Date(stamp.value.getTime() + (c.stamp === 'wrong' ? 1000 : 0));
    await client.acknowledgeAlarm(receiver, { type: c.type, instance: c.instance }, c.state, 'Leitstand',
      { type: stamp.type, value: when }, { type: stamp.type, value: new Date() });
    return {};
  },
  async getAlarmSummary() {
    const alarms = await client.getAlarmSummary(receiver);
    return alarms.map((a) => ({ object: a.objectId, state: a.alarmState, acked: a.acknowledgedTransitions }));
  },
  async getEventInformation() {
    const events = await client.getEventInformation(receiver);
    return events.map((e) => ({ object: e.objectId, state: e.eventState, acked: e.acknowledgedTransitions,
      priorities: e.eventPriorities, notifyType: e.notifyType }));
  },
  async getEnrollmentSummary(c) {
    const r = await client.getEnrollmentSummary(receiver, c.ackFilter || 0);
    return r.enrollmentSummaries;
  },
  async addListElement(c) {
    return changeList(8, 'addListElement', c);
  },
  async removeListElement(c) {
    return changeList(9, 'removeListElement', c);
  },
  async readRange(c) {
    const r = await client.readRange(receiver, { type: c.type, instance: c.instance }, c.position, c.count);
    return { flags: r.resultFlag, itemCount: r.itemCount,
      records: (r.values || []).map((v) => ({ value: v.value !== undefined ? v.value : v })) };
  },
  async confirmedRaw(c) {
    const data = await confirmed(c.service, c.maxApdu || 5, (buffer) => {
      for (const octet of Buffer.from(c.hex, 'hex')) buffer.buffer[buffer.offset++] = octet;
    });
    return { hex: data && data.buffer ? Buffer.from(data.buffer.slice(data.offset, data.offset + data.length)).toString('hex') : '' };
  },
  async walk(c) {
    const list = await client.readProperty(receiver, { type: 8, instance: c.instance }, 76);
    const objects = list.values.map((v) => v.value);
    const errors = [];
    let properties = 0;
    for (const object of objects) {
      const all = await client.readPropertyMultiple(receiver,
        [{ objectId: object, properties: [{ id: 8, index: NO_INDEX }] }]);
      for (const p of all.values[0].values) {
        properties++;
        const error = p.value.find((v) => v.type === ApplicationTag.ERROR);
        if (error)
          errors.push({ service: 14, object, property: p.id, ...error.value });
        try {
          await client.readProperty(receiver, object, p.id);
        } catch (e) {
          const { errorClass, errorCode } = failure(e);
          errors.push({ service: 12, object, property: p.id, errorClass, errorCode });
        }
      }
    }
    return { objects, properties, errors };
  },
  async pause(c) {
    await new Promise((resolve) => setTimeout(resolve, c.ms));
    return {};
  },
  async together(c) {
    return Promise.all(c.calls.map(outcome));
  },
};

async function outcome(c) {
  try {
    return { op: c.op, ok: await operations[c.op](c) };
  } catch (e) {
    return { op: c.op, ...failure(e) };
  }
}

// A confirmed request whose parameters `encode` writes; resolves with the answer.
function confirmed(service, maxApdu, encode) {
  const invokeId = client._getInvokeId();
  const buffer = client._getApduBuffer(receiver);
  baNpdu.encode(buffer, 0x04, receiver);  // expecting a reply
  baApdu.encodeConfirmedServiceRequest(buffer, 0, service, 0, maxApdu, invokeId, 0, 0);
  encode(buffer);
  client.sendBvlc(receiver, buffer);
  return client._requestManager.add(invokeId);
}

// The library's list services write application-tagged elements only; special events are
// written by its exception-schedule encoder.
async function changeList(service, method, c) {
  const index = c.index === undefined ? NO_INDEX : c.index;
  if (!c.events) {
    await client[method](receiver, { type: c.type, instance: c.instance }, { id: c.property, index }, c.values);
    return {};
  }
  await confirmed(service, 5, (buffer) => {
    baAsn1.encodeContextObjectId(buffer, 0, c.type, c.instance);
    baAsn1.encodeContextEnumerated(buffer, 1, c.property);
    if (index !== NO_INDEX)
      baAsn1.encodeContextUnsigned(buffer, 2, index);
    baAsn1.encodeOpeningTag(buffer, 3);
    WriteProperty.encodeExceptionSchedulePayload(buffer, c.events);
    baAsn1.encodeClosingTag(buffer, 3);
  });
  return {};
}

function failure(e) {
  const text = String(e.message || e);
  const m = /Class:(\d+) - Code:(\d+)/.exec(text);
  return m ? { error: text, errorClass: Number(m[1]), errorCode: Number(m[2]) } : { error: text };
}

async function run() {
  for (const c of req.calls)
    process.stdout.write(JSON.stringify(await outcome(c)) + '\n');
}

client.on('listening', () => {
  // A burst of hundreds of notifications would overflow the socket's default receive buffer
  // before they are read.
  client._transport._server.setRecvBufferSize(2 << 20);
  run().then(() => { client.close(); process.exit(0); },
    (e) => { process.stdout.write(JSON.stringify({ fatal: String(e) }) + '\n'); client.close(); process.exit(1); });
});
