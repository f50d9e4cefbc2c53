// Resource ids shared by vantrel.rc and the code.
#pragma once

#define IDI_VANTREL 1
