// The public TypeScript MCP SDK's client over its Streamable-HTTP transport,
// against our test peer: lock-step pings and echo tool calls, each timed.
// Prints one line per kind: "<kind> <calls per second> <median µs> <p99 µs>".
//
//   node sdk_http_client_bench.mjs <http test server> [calls]
import { spawn } from "node:child_process";
import { createInterface } from "node:readline";
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StreamableHTTPClientTransport } from "@modelcontextprotocol/sdk/client/streamableHttp.js";

const serverPath = process.argv[2];
const calls = Number(process.argv[3] ?? 3000);
const server = spawn(serverPath, ["--quiet"], { stdio: ["ignore", "pipe", "inherit"] });
const lines = createInterface({ input: server.stdout })[Symbol.asyncIterator]();
const port = Number((await lines.next()).value);

const client = new Client({ name: "sdk-bench", version: "1.0.0" });
await client.connect(new StreamableHTTPClientTransport(new URL(`http://127.0.0.1:${port}/mcp`)));

async function measure(kind, call) {
  for (let index = 0; index < 200; index += 1) await call();
  const durations = [];
  const started = process.hrtime.bigint();
  for (let index = 0; index < calls; index += 1) {
    const before = process.hrtime.bigint();
    await call();
    durations.push(Number(process.hrtime.bigint() - before) / 1000);
  }
  const seconds = Number(process.hrtime.bigint() - started) / 1e9;
  durations.sort((a, b) => a - b);
  const at = (fraction) => durations[Math.min(durations.length - 1, Math.floor(fraction * durations.length))];
  console.log(`${kind} ${(calls / seconds).toFixed(0)} ${at(0.5).toFixed(0)} ${at(0.99).toFixed(0)}`);
}

await measure("ping", () => client.ping());
await measure("echo", () => client.callTool({ name: "echo", arguments: { text: "hello", count: 3 } }));
await client.close();
server.kill("SIGTERM");
