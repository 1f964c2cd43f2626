// Keyed line reader and writer over the host's load and save states.
