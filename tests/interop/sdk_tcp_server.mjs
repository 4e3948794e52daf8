// A small MCP server written with the public TypeScript MCP SDK behind a TCP
// listener on the loopback host: each accepted socket is handed to the SDK's
// stdio server transport as its readable and writable stream, so messages
// travel one per line. Prints "listening PORT" once it listens, for our
// client to connect. It knows nothing of heartbeats.
import net from "node:net";
import { Server } from "@modelcontextprotocol/sdk/server/index.js";
import { StdioServerTransport } from "@modelcontextprotocol/sdk/server/stdio.js";
import { CallToolRequestSchema, ListToolsRequestSchema } from "@modelcontextprotocol/sdk/types.js";

const text = (body) => ({ content: [{ type: "text", text: body }] });

function makeServer() {
  const server = new Server({ name: "sdk-tcp-server", version: "2.7.1" }, { capabilities: { tools: {} } });
  server.setRequestHandler(ListToolsRequestSchema, async () => ({
    tools: ["add", "ping_client"].map((name) => ({ name, inputSchema: { type: "object" } })),
  }));
  server.setRequestHandler(CallToolRequestSchema, async (request) => {
    const args = request.params.arguments ?? {};
    switch (request.params.name) {
      case "add":
        return text(String(args.a + args.b));
      case "ping_client":
        await server.ping();
        return text("pong");
      default:
        return { ...text(`no tool named ${request.params.name}`), isError: true };
    }
  });
  return server;
}

const listener = net.createServer((socket) => {
  const server = makeServer();
  socket.on("error", () => socket.destroy());
  socket.on("close", () => server.close().catch(() => {}));
  server.connect(new StdioServerTransport(socket, socket)).catch((error) => {
    console.error(`sdk_tcp_server: ${error}`);
    socket.destroy();
  });
});

listener.listen(0, "127.0.0.1", () => {
  console.log(`listening ${listener.address().port}`);
});
// Ends with our driver, which closes our standard input.
process.stdin.on("end", () => process.exit(0));
process.stdin.resume();
