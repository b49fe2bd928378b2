"""qavrek for Python: one extension module per library of the system.

Import the modules you need, e.g. ``from qavrekmodules import Random``; each module imports the
modules it builds on by itself.
"""
