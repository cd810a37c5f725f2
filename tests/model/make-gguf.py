#!/usr/bin/env python3
"""Writes a tiny GGUF model of the llama architecture that always answers with one chosen text.

One layer whose attention and feed-forward outputs are zero: the next token depends only on the
current one. The answer is cut into pieces, each a token of its own; the output table maps any
other token to the first piece, each piece to the next and the last to end-of-text, so greedy or
sampled decoding spells the answer whatever the prompt (and a grammar that accepts it lets it
through). The vocabulary is SentencePiece ("llama") with byte fallback, so any text tokenizes.
With --loop TEXT the answer goes on with TEXT over and over: a server busy until its token limit.

Usage: make-gguf.py [--loop TEXT] ANSWER OUT.gguf      (texts in UTF-8)
"""
import struct
import sys

ALIGNMENT, EMBED, FEED_FORWARD, LOGIT = 32, 64, 32, 40.0
UINT32, INT32, FLOAT32, BOOL, STRING, ARRAY = 4, 5, 6, 7, 8, 9  # GGUF value types
NORMAL, UNKNOWN, CONTROL, BYTE = 1, 2, 3, 6  # token types
CHATML = (
    "{% for message in messages %}{{ '<|im_start|>' + message['role'] + '\n' + message['content'] + '<|im_end|>' + '\n' }}"
    "{% endfor %}{% if add_generation_prompt %}{{ '<|im_start|>assistant\n' }}{% endif %}"
)


def pieces(answer):
    """Cuts the answer into pieces of two or more characters, no piece twice."""
    out, i = [], 0
    while i < len(answer):
        j = min(i + 4, len(answer))
        while answer[i:j] in out and j < len(answer):
            j += 1
        if len(answer) - j == 1:  # no one-character piece at the end
            j += 1
        if answer[i:j] in out:
            raise SystemExit("make-gguf: cannot cut the answer into distinct pieces")
        out.append(answer[i:j])
        i = j
    return out


def string(s):
    b = s.encode("utf-8")
    return struct.pack("<Q", len(b)) + b


def value(vtype, v):
    if vtype == STRING:
        return string(v)
    return struct.pack({UINT32: "<I", INT32: "<i", FLOAT32: "<f", BOOL: "<?"}[vtype], v)


def kv(key, vtype, v):
    if isinstance(v, list):
        return string(key) + struct.pack("<IIQ", ARRAY, vtype, len(v)) + b"".join(value(vtype, x) for x in v)
    return string(key) + struct.pack("<I", vtype) + value(vtype, v)


def build(answer, loop=""):
    chain, looped = pieces(answer), pieces(loop) if loop else []
    if set(looped) & set(chain):
        raise SystemExit("make-gguf: the loop repeats a piece of the answer")
    chain += looped
    if len(chain) + 1 > EMBED:
        raise SystemExit("make-gguf: answer too long for %d dimensions" % EMBED)
    tokens = [("<unk>", UNKNOWN), ("<s>", CONTROL), ("</s>", CONTROL)] + [("<0x%02X>" % b, BYTE) for b in range(256)]
    tokens += [(chr(c), NORMAL) for c in range(0x21, 0x7F)] + [("\u2581", NORMAL)]
    known = {t for t, _ in tokens}
    for p in chain:
        text = p.replace(" ", "\u2581")  # SentencePiece writes spaces so
        if text in known:
            raise SystemExit("make-gguf: a piece is already a token: %r" % p)
        known.add(text)
        tokens.append((text, NORMAL))
    n_vocab, eos = len(tokens), 2
    first = n_vocab - len(chain)  # id of the first piece

    # Every token that is not a piece shares dimension 0; piece k has dimension k + 1. RMS norm
    # turns a one-hot row into sqrt(EMBED) at its dimension.
    embed, output = [0.0] * (n_vocab * EMBED), [0.0] * (n_vocab * EMBED)
    for t in range(n_vocab):
        embed[t * EMBED + (t - first + 1 if t >= first else 0)] = 1.0
    weight = LOGIT / EMBED ** 0.5
    output[first * EMBED] = weight
    for k in range(len(chain)):
        nxt = first + k + 1 if k + 1 < len(chain) else (first + len(chain) - len(looped) if looped else eos)
        output[nxt * EMBED + k + 1] = weight

    zeros = lambda *dims: (list(dims), [0.0] * (dims[0] * (dims[1] if len(dims) > 1 else 1)))
    ones = ([EMBED], [1.0] * EMBED)
    tensors = [("token_embd.weight", [EMBED, n_vocab], embed), ("output_norm.weight", *ones),
               ("output.weight", [EMBED, n_vocab], output), ("blk.0.attn_norm.weight", *ones)]
    tensors += [("blk.0.attn_%s.weight" % n, *zeros(EMBED, EMBED)) for n in ("q", "k", "v", "output")]
    tensors += [("blk.0.ffn_norm.weight", *ones), ("blk.0.ffn_gate.weight", *zeros(EMBED, FEED_FORWARD)),
                ("blk.0.ffn_up.weight", *zeros(EMBED, FEED_FORWARD)), ("blk.0.ffn_down.weight", *zeros(FEED_FORWARD, EMBED))]
    meta = [
        kv("general.architecture", STRING, "llama"), kv("general.name", STRING, "sorelwick-test"),
        kv("general.alignment", UINT32, ALIGNMENT), kv("llama.context_length", UINT32, 4096),
        kv("llama.embedding_length", UINT32, EMBED), kv("llama.block_count", UINT32, 1),
        kv("llama.feed_forward_length", UINT32, FEED_FORWARD), kv("llama.attention.head_count", UINT32, 1),
        kv("llama.attention.head_count_kv", UINT32, 1), kv("llama.rope.dimension_count", UINT32, EMBED),
        kv("llama.attention.layer_norm_rms_epsilon", FLOAT32, 1e-5), kv("llama.vocab_size", UINT32, n_vocab),
        kv("tokenizer.ggml.model", STRING, "llama"), kv("tokenizer.ggml.tokens", STRING, [t for t, _ in tokens]),
        kv("tokenizer.ggml.scores", FLOAT32, [0.0] * n_vocab),
        kv("tokenizer.ggml.token_type", INT32, [kind for _, kind in tokens]),
        kv("tokenizer.ggml.unknown_token_id", UINT32, 0), kv("tokenizer.ggml.bos_token_id", UINT32, 1),
        kv("tokenizer.ggml.eos_token_id", UINT32, eos), kv("tokenizer.ggml.add_bos_token", BOOL, True),
        kv("tokenizer.ggml.add_eos_token", BOOL, False), kv("tokenizer.chat_template", STRING, CHATML),
    ]
    head, data = b"GGUF" + struct.pack("<IQQ", 3, len(tensors), len(meta)) + b"".join(meta), b""
    for name, dims, values in tensors:
        blob = struct.pack("<%df" % len(values), *values)
        head += string(name) + struct.pack("<I", len(dims)) + b"".join(struct.pack("<Q", d) for d in dims)
        head += struct.pack("<IQ", 0, len(data))  # F32, offset in the data section
        data += blob + b"\0" * (-len(blob) % ALIGNMENT)
    return head + b"\0" * (-len(head) % ALIGNMENT) + data


def main():
    args = sys.argv[1:]
    loop = ""
    if len(args) == 4 and args[0] == "--loop":
        loop, args = args[1], args[2:]
    if len(args) != 2:
        raise SystemExit(__doc__)
    with open(args[1], "wb") as out:
        out.write(build(args[0], loop))


if __name__ == "__main__":
    main()
