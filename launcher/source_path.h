// The network form of the install-script path.
//
// The installer engine may run under another drive mapping than the launcher (a different user,
// a service, a later session), so a script that lies on a drive connected to a network share is
// handed over as \\server\share\... instead of X:\... . The rewrite happens only when the
// script's folder can be found under its network name; otherwise the path stays as it is.
#pragma once

// Rewrites path (a buffer of text::kPathCapacity bytes) in place into its network form where that
// applies. Reports nothing and never fails: every doubt leaves the path unchanged.
void ResolveSourcePath(char* path);
