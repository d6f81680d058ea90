#include "InstanceMngr.h"

// In a file of its own, so that only a program that uses the product's table
// links it: a program that builds tables of other names for itself (the
// library's own tests) opens nothing of the product's.
CInstanceMngr g_InstanceMngr;
