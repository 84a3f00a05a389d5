// How the run takes members out of the installer: copies into the work directory, required or
// optional, and packages unpacked from their copies, which are deleted after.
//
// A member is looked up as the executable folder followed by its name: the member of that name in
// the payload archive, else the loose file beside the executable. A copy ends the run when its
// paths do not fit or the member is damaged; a missing member ends it only where the member is
// required. Every function here that ends the run has reported why and returns 0.
#pragma once

#include "launcher/run_state.h"

enum CopyResult { kCopied, kMissing, kTooLong, kDamaged };

// Copies member name to target_name in the work directory (nullptr: under the member's own
// name). target_path (text::kPathCapacity bytes, the caller's) receives the target's path,
// whatever the result but kTooLong. A result that ends the run (EndsTheRun) has been reported.
CopyResult CopyMember(RunState* run, const char* name, const char* target_name, char* target_path);

// Whether a copy's result ends the run whether or not the member is required.
bool EndsTheRun(CopyResult copied);

// A required member: a missing one ends the run with an error-log entry naming both paths and
// the system's reason. 1 when copied, with its path in target_path.
int CopyRequiredMember(RunState* run, const char* name, const char* target_name, char* target_path);

// Unpacks a package copied into the work directory as package_name, read through source (null:
// from its copy only), then deletes the copy at copy_path. Unpacking failures end nothing here;
// a copy that cannot be opened at all (another program holds it for good) ends the run.
int UnpackAndDelete(RunState* run, ArchiveReader* source, const char* package_name,
                    const char* copy_path);

// An optional package: copied under its own name, unpacked and deleted when present; its absence
// is no error. A package whose name is also a member's is read from that member.
int UnpackOptionalPackage(RunState* run, const char* name);

// The engine package, already copied to "~0000.shr" from member_name: the run never starts an
// engine that did not unpack whole. Sets percent_after and deletes the copy.
int UnpackEnginePackage(RunState* run, const char* member_name, const char* copy_path,
                        int percent_after);
