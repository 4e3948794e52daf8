// A small MCP server written with the public TypeScript MCP SDK, served over
// its Streamable-HTTP server transport on a loopback port, for our client and
// its HTTP transport to drive. It prints its port as one line.
//
//   node sdk_http_server.mjs [--json] [--event-store]
//
// --json answers every POST with one JSON body instead of an event stream;
// --event-store keeps every event in a store of this script's own, so that a
// GET stream that breaks can resume where it stopped.
import { randomUUID } from "node:crypto";
import http from "node:http";
import { Server } from "@modelcontextprotocol/sdk/server/index.js";
import { StreamableHTTPServerTransport } from "@modelcontextprotocol/sdk/server/streamableHttp.js";
import {
  CallToolRequestSchema,
  CreateMessageResultSchema,
  EmptyResultSchema,
  isInitializeRequest,
  ListToolsRequestSchema,
} from "@modelcontextprotocol/sdk/types.js";

const jsonResponses = process.argv.includes("--json");
const withEventStore = process.argv.includes("--event-store");

// Every event of every stream in order, each under an id of its own.
class MemoryEventStore {
  constructor() {
    this.events = [];
  }
  async storeEvent(streamId, message) {
    const eventId = `${streamId}_${this.events.length}`;
    this.events.push({ eventId, streamId, message });
    return eventId;
  }
  async replayEventsAfter(lastEventId, { send }) {
    const index = this.events.findIndex((event) => event.eventId === lastEventId);
    if (index < 0) return "";
    const { streamId } = this.events[index];
    for (const event of this.events.slice(index + 1)) {
      if (event.streamId === streamId) await send(event.eventId, event.message);
    }
    return streamId;
  }
}

const text = (body) => ({ content: [{ type: "text", text: body }] });

function makeServer() {
  const server = new Server(
    { name: "sdk-http-server", version: "2.7.1" },
    { capabilities: { tools: { listChanged: true }, resources: { subscribe: true } } },
  );
  server.setRequestHandler(ListToolsRequestSchema, async () => ({
    tools: ["add", "notify_twice", "ping_client", "ask_model", "announce", "burst"].map((name) => ({
      name,
      inputSchema: { type: "object" },
    })),
  }));
  server.setRequestHandler(CallToolRequestSchema, async (request, extra) => {
    const args = request.params.arguments ?? {};
    switch (request.params.name) {
      case "add":
        return text(String(args.a + args.b));
      case "notify_twice":
        // Both go out on this request's own stream before its result.
        await extra.sendNotification({ method: "notifications/tools/list_changed" });
        await extra.sendNotification({ method: "notifications/tools/list_changed" });
        return text("notified");
      case "ping_client":
        if (jsonResponses) await server.ping();
        else await extra.sendRequest({ method: "ping" }, EmptyResultSchema);
        return text("pong");
      case "ask_model": {
        const params = {
          messages: [{ role: "user", content: { type: "text", text: args.question } }],
          maxTokens: 20,
        };
        const reply = jsonResponses
          ? await server.createMessage(params)
          : await extra.sendRequest({ method: "sampling/createMessage", params }, CreateMessageResultSchema);
        return text(`${reply.model}: ${reply.content.text}`);
      }
      case "announce":
        // After the answer, on the stream the client keeps open with GET.
        setTimeout(() => server.sendToolListChanged().catch(() => {}), 10);
        return text("announcing");
      case "burst": {
        let sent = 0;
        const timer = setInterval(() => {
          server.sendResourceUpdated({ uri: `memo://burst/${sent}` }).catch(() => {});
          sent += 1;
          if (sent === args.count) clearInterval(timer);
        }, args.interval);
        return text("bursting");
      }
      default:
        return { ...text(`no tool named ${request.params.name}`), isError: true };
    }
  });
  return server;
}

const transports = new Map();

const httpServer = http.createServer(async (request, response) => {
  try {
    const chunks = [];
    for await (const chunk of request) chunks.push(chunk);
    const body = chunks.length > 0 ? JSON.parse(Buffer.concat(chunks).toString("utf8")) : undefined;
    const sessionId = request.headers["mcp-session-id"];
    let transport = sessionId ? transports.get(sessionId) : undefined;
    if (!transport) {
      if (request.method !== "POST" || !isInitializeRequest(body)) {
        response.writeHead(sessionId ? 404 : 400, { "Content-Type": "application/json" });
        response.end(JSON.stringify({ jsonrpc: "2.0", error: { code: -32000, message: "No session" }, id: null }));
        return;
      }
      transport = new StreamableHTTPServerTransport({
        sessionIdGenerator: () => randomUUID(),
        enableJsonResponse: jsonResponses,
        eventStore: withEventStore ? new MemoryEventStore() : undefined,
        onsessioninitialized: (id) => transports.set(id, transport),
      });
      await makeServer().connect(transport);
    }
    await transport.handleRequest(request, response, body);
  } catch (error) {
    console.error(`sdk_http_server: ${error?.stack ?? error}`);
    if (!response.headersSent) response.writeHead(500).end();
  }
});

httpServer.listen(0, "127.0.0.1", () => {
  console.log(httpServer.address().port);
});
process.on("SIGTERM", () => process.exit(0));
