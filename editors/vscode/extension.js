// The client side of veltrix-lsp in VS Code: starts the language server for .vxb documents and
// passes the help file setting to it.  Colouring comes from the grammar alone.
const vscode = require("vscode");
const { LanguageClient } = require("vscode-languageclient/node");

let client;

function activate(context) {
  const config = vscode.workspace.getConfiguration("veltrix");
  const command = config.get("server.path") || "veltrix-lsp";
  const helpFile = config.get("helpFile");
  const serverOptions = { command, args: [] };
  const clientOptions = {
    documentSelector: [
      { scheme: "file", language: "veltrix" },
      { scheme: "untitled", language: "veltrix" },
    ],
    initializationOptions: helpFile ? { helpFile } : {},
  };
  client = new LanguageClient("veltrix", "Veltrix! language server", serverOptions,
                              clientOptions);
  context.subscriptions.push(client);
  return client.start();
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
