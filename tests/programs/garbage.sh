#!/bin/sh
# A program that prints something other than points.
echo "the hull is round"
