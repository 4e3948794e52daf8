// Drives our Streamable-HTTP endpoint with the public TypeScript MCP SDK's
// client transport: handshake, tools/list, tools/call, ping, and a
// list-changed notification arriving on the session's event stream. Neither
// the transport nor the client may report an error along the way (the
// stream's first event, for one, must not be taken for a broken message).
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { createInterface } from "node:readline";
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StreamableHTTPClientTransport } from "@modelcontextprotocol/sdk/client/streamableHttp.js";
import { ToolListChangedNotificationSchema } from "@modelcontextprotocol/sdk/types.js";

const serverPath = process.argv[2];
assert.ok(serverPath, "usage: node http_client.mjs <http server program>");

const server = spawn(serverPath, ["--quiet"], { stdio: ["ignore", "pipe", "inherit"] });
const failOnEarlyExit = (code) => {
  console.error(`interop: the server exited early with status ${code}`);
  process.exit(1);
};
server.on("exit", failOnEarlyExit);

try {
  const lines = createInterface({ input: server.stdout })[Symbol.asyncIterator]();
  const portLine = (await lines.next()).value;
  const port = Number(portLine);
  assert.ok(port > 0, `the server printed no port: ${portLine}`);

  const errors = [];
  const transport = new StreamableHTTPClientTransport(new URL(`http://127.0.0.1:${port}/mcp`));
  const client = new Client({ name: "lumenary-interop", version: "1.0.0" });
  client.onerror = (error) => errors.push(`client: ${error?.message ?? error}`);
  await client.connect(transport);
  // The client sets its own handler on connect and passes errors on to ours.
  const clientHandler = transport.onerror;
  transport.onerror = (error) => {
    errors.push(`transport: ${error?.message ?? error}`);
    clientHandler?.(error);
  };
  assert.match(transport.sessionId, /^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$/);
  assert.deepEqual(client.getServerVersion(), { name: "http_test_server", version: "1.0.0" });
  assert.deepEqual(client.getServerCapabilities(), { tools: { listChanged: true } });

  const { tools } = await client.listTools();
  assert.deepEqual(tools.map((tool) => tool.name), ["echo"]);

  const echoed = await client.callTool({ name: "echo", arguments: { path: "a/b", count: 2, nested: { ok: true } } });
  assert.deepEqual(echoed.content, [{ type: "text", text: '{"count":2,"nested":{"ok":true},"path":"a/b"}' }]);
  await assert.rejects(client.callTool({ name: "missing", arguments: {} }), /Unknown tool: missing/);
  assert.deepEqual(await client.ping(), {});

  // The server sends the notification on SIGUSR1; it comes on the event
  // stream the transport opened after the handshake, which may take a moment
  // to open: keep asking until it arrives.
  const changed = new Promise((resolve) => client.setNotificationHandler(ToolListChangedNotificationSchema, resolve));
  const asking = setInterval(() => server.kill("SIGUSR1"), 200);
  let deadline;
  await Promise.race([
    changed,
    new Promise((_, reject) => {
      deadline = setTimeout(() => reject(new Error("no list-changed notification")), 10000);
    }),
  ]);
  clearInterval(asking);
  clearTimeout(deadline);
  // The stream opened after the handshake has delivered its first event by
  // now, since the notification came on it.
  assert.deepEqual(errors, [], "the SDK reported errors");

  await client.close();
  assert.deepEqual(errors, [], "the SDK reported errors");
  console.log("interop: the SDK's HTTP client initialised, listed and called tools, pinged and was notified");
} finally {
  server.off("exit", failOnEarlyExit);
  server.kill("SIGTERM");
}
