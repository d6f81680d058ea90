#pragma once

class CServiceMngr;

// Closes the application, stops the service and copies every file of the
// project's copy list into its target folder, one outcome line per file.
void RunCopyStep(CServiceMngr& svcMngr);
