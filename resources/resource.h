// Resource identifiers of the module.
#pragma once

#define IDS_PARVEX_UP 1
#define IDS_PARVEX_UP_PPG 2
#define IDS_PARVEX_DN 3
#define IDS_PARVEX_DN_PPG 4
#define IDS_PARVEX_UP_PPG_CAPTION 200
#define IDS_PARVEX_DN_PPG_CAPTION 201
