#!/usr/bin/env python3
"""Writes a tiny GGUF model of the llama architecture that always answers with one chosen text.

The model has one layer whose attention and feed-forward outputs are zero, so the residual stream
at each position is the embedding of that position's token and the next token depends only on
the current one. The answer is cut into pieces that each become a token of their own; the
output table maps "any other token" to the first piece, each piece to the next, and the last to
end-of-text. Whatever the prompt, greedy or sampled decoding spells the answer, and a schema
grammar that accepts the answer lets it through unchanged.

The vocabulary is a SentencePiece ("llama") one with byte fallback: printable ASCII, the space
marker and the 256 byte tokens, so any text, Korean too, tokenizes.

With --loop TEXT, the answer goes on with TEXT over and over instead of ending: a model that
keeps the server busy until its token limit (for time-out tests).

Usage: make-gguf.py [--loop TEXT] ANSWER OUT.gguf      (texts in UTF-8)
"""
import struct
import sys

ALIGNMENT = 32
EMBED = 64
FEED_FORWARD = 32
LOGIT = 40.0

# GGUF value types
UINT32, FLOAT32, BOOL, STRING, ARRAY = 4, 6, 7, 8, 9
# token types
NORMAL, UNKNOWN, CONTROL, BYTE = 1, 2, 3, 6

CHATML = (
    "{% for message in messages %}{{ '<|im_start|>' + message['role'] + '\n' + message['content'] + '<|im_end|>' + '\n' }}"
    "{% endfor %}{% if add_generation_prompt %}{{ '<|im_start|>assistant\n' }}{% endif %}"
)


def pieces(answer):
    """Cuts the answer into pieces of two or more characters, no piece twice."""
    out = []
    i = 0
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
    if len(out[-1]) < 2 and len(out) > 1:
        out[-2] += out.pop()
    return out


def vocabulary(chain):
    tokens = [("<unk>", UNKNOWN), ("<s>", CONTROL), ("</s>", CONTROL)]
    tokens += [("<0x%02X>" % b, BYTE) for b in range(256)]
    tokens += [(chr(c), NORMAL) for c in range(0x21, 0x7F)]
    tokens.append(("\u2581", NORMAL))
    known = {t for t, _ in tokens}
    for p in chain:
        text = p.replace(" ", "\u2581")  # SentencePiece writes spaces so
        if text in known:
            raise SystemExit("make-gguf: a piece is already a token: %r" % p)
        known.add(text)
        tokens.append((text, NORMAL))
    return tokens


def string(s):
    b = s.encode("utf-8")
    return struct.pack("<Q", len(b)) + b


def kv(key, vtype, value):
    out = string(key) + struct.pack("<I", vtype)
    if vtype == UINT32:
        out += struct.pack("<I", value)
    elif vtype == FLOAT32:
        out += struct.pack("<f", value)
    elif vtype == BOOL:
        out += struct.pack("<?", value)
    elif vtype == STRING:
        out += string(value)
    else:
        raise ValueError(vtype)
    return out


def kv_array(key, etype, values):
    out = string(key) + struct.pack("<IIQ", ARRAY, etype, len(values))
    for v in values:
        if etype == STRING:
            out += string(v)
        elif etype == FLOAT32:
            out += struct.pack("<f", v)
        else:
            out += struct.pack("<i", v)
    return out


def f32(values):
    return struct.pack("<%df" % len(values), *values)


def build(answer, loop=""):
    chain = pieces(answer)
    looped = pieces(loop) if loop else []
    if set(looped) & set(chain):
        raise SystemExit("make-gguf: the loop repeats a piece of the answer")
    chain += looped
    if len(chain) + 1 > EMBED:
        raise SystemExit("make-gguf: answer too long for %d dimensions" % EMBED)
    tokens = vocabulary(chain)
    n_vocab = len(tokens)
    first = n_vocab - len(chain)  # id of the first piece
    eos = 2

    # Embeddings: every token that is not a piece shares dimension 0; piece k has dimension k + 1.
    embed = [0.0] * (n_vocab * EMBED)
    for t in range(n_vocab):
        dim = t - first + 1 if t >= first else 0
        embed[t * EMBED + dim] = 1.0
    # RMS norm turns a one-hot row into sqrt(EMBED) at its dimension.
    weight = LOGIT / EMBED ** 0.5
    output = [0.0] * (n_vocab * EMBED)
    output[first * EMBED + 0] = weight
    for k in range(len(chain)):
        if k + 1 < len(chain):
            nxt = first + k + 1
        else:
            nxt = first + len(chain) - len(looped) if looped else eos
        output[nxt * EMBED + k + 1] = weight

    zeros = lambda n: [0.0] * n
    ones = lambda n: [1.0] * n
    tensors = [
        ("token_embd.weight", [EMBED, n_vocab], embed),
        ("output_norm.weight", [EMBED], ones(EMBED)),
        ("output.weight", [EMBED, n_vocab], output),
        ("blk.0.attn_norm.weight", [EMBED], ones(EMBED)),
        ("blk.0.attn_q.weight", [EMBED, EMBED], zeros(EMBED * EMBED)),
        ("blk.0.attn_k.weight", [EMBED, EMBED], zeros(EMBED * EMBED)),
        ("blk.0.attn_v.weight", [EMBED, EMBED], zeros(EMBED * EMBED)),
        ("blk.0.attn_output.weight", [EMBED, EMBED], zeros(EMBED * EMBED)),
        ("blk.0.ffn_norm.weight", [EMBED], ones(EMBED)),
        ("blk.0.ffn_gate.weight", [EMBED, FEED_FORWARD], zeros(EMBED * FEED_FORWARD)),
        ("blk.0.ffn_up.weight", [EMBED, FEED_FORWARD], zeros(EMBED * FEED_FORWARD)),
        ("blk.0.ffn_down.weight", [FEED_FORWARD, EMBED], zeros(EMBED * FEED_FORWARD)),
    ]

    meta = [
        kv("general.architecture", STRING, "llama"),
        kv("general.name", STRING, "sorelwick-test"),
        kv("general.alignment", UINT32, ALIGNMENT),
        kv("llama.context_length", UINT32, 4096),
        kv("llama.embedding_length", UINT32, EMBED),
        kv("llama.block_count", UINT32, 1),
        kv("llama.feed_forward_length", UINT32, FEED_FORWARD),
        kv("llama.attention.head_count", UINT32, 1),
        kv("llama.attention.head_count_kv", UINT32, 1),
        kv("llama.rope.dimension_count", UINT32, EMBED),
        kv("llama.attention.layer_norm_rms_epsilon", FLOAT32, 1e-5),
        kv("llama.vocab_size", UINT32, n_vocab),
        kv("tokenizer.ggml.model", STRING, "llama"),
        kv_array("tokenizer.ggml.tokens", STRING, [t for t, _ in tokens]),
        kv_array("tokenizer.ggml.scores", FLOAT32, [0.0] * n_vocab),
        kv_array("tokenizer.ggml.token_type", 5, [kind for _, kind in tokens]),  # INT32
        kv("tokenizer.ggml.unknown_token_id", UINT32, 0),
        kv("tokenizer.ggml.bos_token_id", UINT32, 1),
        kv("tokenizer.ggml.eos_token_id", UINT32, eos),
        kv("tokenizer.ggml.add_bos_token", BOOL, True),
        kv("tokenizer.ggml.add_eos_token", BOOL, False),
        kv("tokenizer.chat_template", STRING, CHATML),
    ]

    header = b"GGUF" + struct.pack("<IQQ", 3, len(tensors), len(meta)) + b"".join(meta)
    infos = b""
    data = b""
    for name, dims, values in tensors:
        blob = f32(values)
        infos += string(name) + struct.pack("<I", len(dims)) + b"".join(struct.pack("<Q", d) for d in dims)
        infos += struct.pack("<IQ", 0, len(data))  # F32, offset in the data section
        data += blob + b"\0" * (-len(blob) % ALIGNMENT)
    head = header + infos
    return head + b"\0" * (-len(head) % ALIGNMENT) + data


def main():
    args = sys.argv[1:]
    loop = ""
    if len(args) == 4 and args[0] == "--loop":
        loop = args[1]
        args = args[2:]
    if len(args) != 2:
        raise SystemExit(__doc__)
    model = build(args[0], loop)
    with open(args[1], "wb") as out:
        out.write(model)


if __name__ == "__main__":
    main()
