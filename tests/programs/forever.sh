#!/bin/sh
# A program that never ends.
exec sleep 1000
