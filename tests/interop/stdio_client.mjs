// Drives our MCP server over standard input and output with the public
// TypeScript MCP SDK's client: handshake, tools/list, tools/call, ping.
import assert from "node:assert/strict";
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";

const serverPath = process.argv[2];
assert.ok(serverPath, "usage: node stdio_client.mjs <server program>");

const transport = new StdioClientTransport({ command: serverPath, args: [], stderr: "inherit" });
const client = new Client({ name: "lumenary-interop", version: "1.0.0" });

await client.connect(transport);
assert.deepEqual(client.getServerVersion(), { name: "test-server", version: "1.0.0" });
assert.deepEqual(client.getServerCapabilities(), { tools: { listChanged: true } });

const { tools } = await client.listTools();
assert.deepEqual(tools.map((tool) => tool.name), ["echo", "fail", "slow"]);

const echoed = await client.callTool({ name: "echo", arguments: { path: "a/b", count: 2, nested: { ok: true } } });
assert.equal(echoed.isError, undefined);
assert.deepEqual(echoed.content, [{ type: "text", text: '{"count":2,"nested":{"ok":true},"path":"a/b"}' }]);

const failed = await client.callTool({ name: "fail", arguments: {} });
assert.equal(failed.isError, true);

await assert.rejects(client.callTool({ name: "missing", arguments: {} }), /Unknown tool: missing/);

assert.deepEqual(await client.ping(), {});

await client.close();
console.log("interop: the SDK client initialised, listed tools, called tools and pinged");
