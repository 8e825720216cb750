#pragma once

#include <QString>

// Everything the repair command line is made from, as the window's controls hold it.
struct RepairInputs {
    QString gopm;
    QString gopl;
    QString smpltrk;
    bool samplesPerChunk = false; // "Samples per chunk" selected
    bool interleave = false;      // "Interleave settings" selected
    bool logVerbose = false;      // "Verbose" selected; None and Default add nothing
    QString reference;
    QString corrupt;
    QString appFolder;
};

// The tool's command line: program, smpltrk, gopm, gopl, verbose, reference, corrupt.
// Texts go in as they are; a path holding a blank, a tab or a double quote is quoted
// so that it reaches the tool as one argument.
QString AssembleCommandLine(const RepairInputs& inputs);
