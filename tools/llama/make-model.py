#!/usr/bin/python3
"""Writes a small llama-architecture GGUF model with random weights.

Usage: make-model.py VOCAB.gguf OUT.gguf N_EMBD N_LAYER

The tokenizer (every tokenizer.* entry) is copied from VOCAB.gguf, so the
server tokenizes and detokenizes as with a real model; the text it generates
is noise, but its slots, tasks and counters are real. Needs llama.cpp's gguf-py
on PYTHONPATH and numpy.
"""
import sys

import numpy as np

import gguf


def copy_tokenizer(vocab_path, writer):
    reader = gguf.GGUFReader(vocab_path)
    for name, field in reader.fields.items():
        if not name.startswith("tokenizer."):
            continue
        vtype = field.types[0]
        if vtype == gguf.GGUFValueType.ARRAY:
            writer.add_key_value(name, field.contents(), vtype, sub_type=field.types[-1])
        else:
            writer.add_key_value(name, field.contents(), vtype)
    return len(reader.fields["tokenizer.ggml.tokens"].data)


def main():
    vocab_path, out_path = sys.argv[1], sys.argv[2]
    n_embd, n_layer = int(sys.argv[3]), int(sys.argv[4])
    n_head = max(1, n_embd // 64)
    n_ff = n_embd * 4
    rng = np.random.default_rng(1234)

    writer = gguf.GGUFWriter(out_path, "llama")
    writer.add_name(f"random-llama-{n_embd}x{n_layer}")
    writer.add_context_length(4096)
    writer.add_embedding_length(n_embd)
    writer.add_block_count(n_layer)
    writer.add_feed_forward_length(n_ff)
    writer.add_head_count(n_head)
    writer.add_head_count_kv(n_head)
    writer.add_rope_dimension_count(n_embd // n_head)
    writer.add_layer_norm_rms_eps(1e-5)
    writer.add_file_type(gguf.LlamaFileType.ALL_F32)
    n_vocab = copy_tokenizer(vocab_path, writer)
    writer.add_vocab_size(n_vocab)

    def weight(*shape):
        return (rng.standard_normal(shape, dtype=np.float32) * 0.02).astype(np.float32)

    ones = np.ones(n_embd, dtype=np.float32)
    writer.add_tensor("token_embd.weight", weight(n_vocab, n_embd))
    writer.add_tensor("output_norm.weight", ones)
    writer.add_tensor("output.weight", weight(n_vocab, n_embd))
    for i in range(n_layer):
        writer.add_tensor(f"blk.{i}.attn_norm.weight", ones)
        for part in ("attn_q", "attn_k", "attn_v", "attn_output"):
            writer.add_tensor(f"blk.{i}.{part}.weight", weight(n_embd, n_embd))
        writer.add_tensor(f"blk.{i}.ffn_norm.weight", ones)
        writer.add_tensor(f"blk.{i}.ffn_gate.weight", weight(n_ff, n_embd))
        writer.add_tensor(f"blk.{i}.ffn_up.weight", weight(n_ff, n_embd))
        writer.add_tensor(f"blk.{i}.ffn_down.weight", weight(n_embd, n_ff))

    writer.write_header_to_file()
    writer.write_kv_data_to_file()
    writer.write_tensors_to_file()
    writer.close()


if __name__ == "__main__":
    main()
