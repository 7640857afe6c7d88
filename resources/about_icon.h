// The About box icon, 32x32 in six colours, built from twelve distinct rows.
#pragma once

#define GM_ABOUT_R1 "  ############################  "
#define GM_ABOUT_R2 "  ###+++++++++.....@@@.....###  "
#define GM_ABOUT_R3 "  ###...........+++++++++++###  "
#define GM_ABOUT_R4 "  ###+++++++++++++++++########  "
#define GM_ABOUT_R5 "  ###++++++++$++++++++########  "
#define GM_ABOUT_R6 "  #########$#$#$##############  "
#define GM_ABOUT_R7 "  ##########$$$###############  "
#define GM_ABOUT_R8 "  ########$$$$$$$#############  "
#define GM_ABOUT_R9 "  ###########$################  "
#define GM_ABOUT_R10 "  ###++++++++++++++++++++++###  "
#define GM_ABOUT_R11 "  ###+++++++++@@@@@@+++++++###  "
#define GM_ABOUT_R12 "  ###...++++++++++++##########  "

static const char* const about_icon_xpm[] = {
    "32 32 6 1",
    "  c None",
    ". c #FF0000",
    "+ c #5C5B54",
    "@ c #3AEE52",
    "# c #C8C865",
    "$ c #F8FFA5",
    GM_ABOUT_R1,  GM_ABOUT_R2,  GM_ABOUT_R2,  GM_ABOUT_R1,  GM_ABOUT_R1,  GM_ABOUT_R3,
    GM_ABOUT_R3,  GM_ABOUT_R1,  GM_ABOUT_R1,  GM_ABOUT_R4,  GM_ABOUT_R5,  GM_ABOUT_R6,
    GM_ABOUT_R7,  GM_ABOUT_R8,  GM_ABOUT_R7,  GM_ABOUT_R6,  GM_ABOUT_R9,  GM_ABOUT_R10,
    GM_ABOUT_R10, GM_ABOUT_R1,  GM_ABOUT_R1,  GM_ABOUT_R11, GM_ABOUT_R11, GM_ABOUT_R1,
    GM_ABOUT_R1,  GM_ABOUT_R10, GM_ABOUT_R10, GM_ABOUT_R1,  GM_ABOUT_R1,  GM_ABOUT_R12,
    GM_ABOUT_R12, GM_ABOUT_R1,
};
