/// <reference types="node" />

/**
 * The line form of a stylesheet, byte for byte as `veltrim -` writes it. A string is
 * written as UTF-8. Rejects with an Error whose message is the tool's.
 */
export function convert(input: string | Buffer | Uint8Array): Promise<Buffer>;

/**
 * Converts one `.css` file as `veltrim NAME` does, and resolves with the output's name (NAME
 * with its last four characters made `.olf`). Rejects with an Error whose message is the
 * tool's message line.
 */
export function convertFile(name: string): Promise<string>;
