// The runs that need no card: the usage text, the version, the port list,
// and the run without arguments.
#pragma once

// Answers a command line without a port word or with --help (-h, /?),
// --version or --list-ports; true when the run ends there, with exit
// status 0. Nothing is opened and nothing is sent.
bool answeredWithoutCard(int argc, char *argv[]);
