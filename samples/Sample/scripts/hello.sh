#!/bin/sh
# Keeps its execute bit through packing and unpacking.
echo "Hello from the unpacked sample"
