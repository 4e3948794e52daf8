// A small MCP server written with the public TypeScript MCP SDK, served over
// standard input and output, for our client to drive: tools, a prompt, a
// resource, and tools that make the server turn to its client (sampling,
// ping, an unknown request, a notification).
import { Server } from "@modelcontextprotocol/sdk/server/index.js";
import { StdioServerTransport } from "@modelcontextprotocol/sdk/server/stdio.js";
import {
  CallToolRequestSchema,
  EmptyResultSchema,
  GetPromptRequestSchema,
  ListPromptsRequestSchema,
  ListResourcesRequestSchema,
  ListToolsRequestSchema,
  ReadResourceRequestSchema,
} from "@modelcontextprotocol/sdk/types.js";

const server = new Server(
  { name: "sdk-server", version: "3.1.4" },
  { capabilities: { tools: {}, prompts: {}, resources: {} }, instructions: "Try the add tool." },
);

const text = (body) => ({ content: [{ type: "text", text: body }] });
const anyObject = { type: "object" };

server.setRequestHandler(ListToolsRequestSchema, async () => ({
  tools: ["add", "ask_model", "ping_client", "unknown_request", "announce"].map((name) => ({
    name,
    inputSchema: anyObject,
  })),
}));

server.setRequestHandler(CallToolRequestSchema, async (request) => {
  const args = request.params.arguments ?? {};
  switch (request.params.name) {
    case "add":
      return text(String(args.a + args.b));
    case "ask_model": {
      const reply = await server.createMessage({
        messages: [{ role: "user", content: { type: "text", text: args.question } }],
        maxTokens: 20,
      });
      return text(`${reply.model}: ${reply.content.text}`);
    }
    case "ping_client":
      await server.ping();
      return text("pong");
    case "unknown_request":
      try {
        await server.request({ method: "test/unknown", params: {} }, EmptyResultSchema);
        return text("answered");
      } catch (error) {
        return text(`refused with ${error.code}`);
      }
    case "announce":
      await server.sendToolListChanged();
      return text("announced");
    default:
      return { ...text(`no tool named ${request.params.name}`), isError: true };
  }
});

server.setRequestHandler(ListPromptsRequestSchema, async () => ({
  prompts: [{ name: "greet", arguments: [{ name: "who", required: true }] }],
}));

server.setRequestHandler(GetPromptRequestSchema, async (request) => ({
  description: "A greeting",
  messages: [{ role: "user", content: { type: "text", text: `Hello, ${request.params.arguments?.who}` } }],
}));

server.setRequestHandler(ListResourcesRequestSchema, async () => ({
  resources: [{ name: "notes", uri: "memo://notes/today", mimeType: "text/plain" }],
}));

server.setRequestHandler(ReadResourceRequestSchema, async (request) => ({
  contents: [{ uri: request.params.uri, mimeType: "text/plain", text: "Buy milk." }],
}));

await server.connect(new StdioServerTransport());
