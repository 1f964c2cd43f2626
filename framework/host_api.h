/* The host's plug-in interface as this module uses it: every C-facing type in one place.
 *
 * Member order and widths follow the host's published tables: on the 32-bit Windows build every
 * table is a plain record of 4-byte members; on 64-bit hosts its members are naturally aligned, so
 * a pointer-sized member sits at a multiple of 8. The static_asserts at the end hold both builds to
 * the host's byte offsets. No table uses `long` (32 bits on Windows, 64 on Linux and macOS). Only C
 * types appear here, so the stand-in host and the module share one view of the boundary. */
#ifndef OSTREVIN_FRAMEWORK_HOST_API_H
#define OSTREVIN_FRAMEWORK_HOST_API_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Basic handles -------------------------------------------------------------------------- */
typedef void *LWInstance;
typedef void *LWItemID;          /* null: none; all bits set: every item */
typedef const char *LWError;     /* null: success */
typedef int LWFrame;
typedef double LWTime;
typedef unsigned int LWID;       /* four-character codes */
typedef void *LWPntID;
typedef void *LWPolID;
typedef void *LWXPanelID;

/* ---- Module, servers, activation, lookup --------------------------------------------------- */
typedef void *GlobalFunc(const char *serviceName, int useMode);
typedef int ActivateFunc(int version, GlobalFunc *global, void *local, void *serverData);

enum { GFUSE_TRANSIENT = 0, GFUSE_ACQUIRE = 1, GFUSE_RELEASE = 2 };
enum {
    AFUNC_OK = 0, AFUNC_BADVERSION = 1, AFUNC_BADGLOBAL = 2, AFUNC_BADLOCAL = 3,
    AFUNC_BADAPP = 4, AFUNC_BADAPP_SILENT = 5
};

typedef struct st_ServerTagInfo {
    const char *string;
    unsigned int tag;   /* category OR language */
} ServerTagInfo;

enum {
    SRVTAG_USERNAME = 0x00000, SRVTAG_BUTTONNAME = 0x10000, SRVTAG_CMDGROUP = 0x20000,
    SRVTAG_MENU = 0x30000, SRVTAG_DESCRIPTION = 0x40000
};
enum { LANGID_USENGLISH = 0x0409, LANGID_JAPANESE = 0x0411 };

typedef struct st_ServerRecord {
    const char *className;
    const char *name;
    ActivateFunc *activate;
    ServerTagInfo *tagInfo;
} ServerRecord;

/* The descriptor's three leading words are `unsigned int` on every build, as the host declares
 * them: the 32-bit module is six 32-bit words; on 64-bit hosts the pointers follow at 16, 24, 32. */
typedef struct st_ModuleDescriptor {
    unsigned int sysSync;
    unsigned int sysVersion;
    unsigned int sysMachine;
    void *(*startup)(void);
    void (*shutdown)(void *startupResult);
    ServerRecord *serverDefs;
} ModuleDescriptor;

/* The descriptor's words as the host's loader expects them, and what the module's start-up
 * returns: any value will do, the host only hands it back to shut-down. */
#define MODULE_SYNC_WORD 0x04121994u
#define MODULE_SYSTEM_VERSION 3u
/* Windows' word, the same for 32- and 64-bit hosts; the Linux build stands in for them. */
#if defined(__APPLE__)
#define MODULE_MACHINE_WORD 0x400u
#else
#define MODULE_MACHINE_WORD 0x300u
#endif
#define MODULE_STARTUP_RESULT 4u

/* ---- Load and save states (member 7 is the 16-bit reader and writer) ------------------------ */
typedef struct st_LWBlockIdent {
    LWID id;
    const char *token;
} LWBlockIdent;

typedef struct st_LWLoadState {
    int ioMode;               /* 0 binary (object files), 1 ASCII (scene files) */
    void *readData;
    int (*read)(void *readData, char *buf, int len);
    int (*readI1)(void *readData, char *vals, int n);
    int (*readI2)(void *readData, short *vals, int n);
    int (*readI4)(void *readData, int *vals, int n);
    int (*readU1)(void *readData, unsigned char *vals, int n);
    int (*readU2)(void *readData, unsigned short *vals, int n);
    int (*readU4)(void *readData, unsigned int *vals, int n);
    int (*readFP)(void *readData, float *vals, int n);
    int (*readStr)(void *readData, char *buf, int max);
    LWID (*readID)(void *readData, const LWBlockIdent *ids);
    LWID (*findBlk)(void *readData, const LWBlockIdent *ids);
    void (*endBlk)(void *readData);
    int (*depth)(void *readData);
    int (*readDP)(void *readData, double *vals, int n);
} LWLoadState;

typedef struct st_LWSaveState {
    int ioMode;
    void *writeData;
    void (*write)(void *writeData, const char *buf, int len);
    void (*writeI1)(void *writeData, const char *vals, int n);
    void (*writeI2)(void *writeData, const short *vals, int n);
    void (*writeI4)(void *writeData, const int *vals, int n);
    void (*writeU1)(void *writeData, const unsigned char *vals, int n);
    void (*writeU2)(void *writeData, const unsigned short *vals, int n);
    void (*writeU4)(void *writeData, const unsigned int *vals, int n);
    void (*writeFP)(void *writeData, const float *vals, int n);
    void (*writeStr)(void *writeData, const char *str);
    void (*writeID)(void *writeData, const LWBlockIdent *id);
    void (*beginBlk)(void *writeData, const LWBlockIdent *id, int leaf);
    void (*endBlk)(void *writeData);
    int (*depth)(void *writeData);
    void (*writeDP)(void *writeData, const double *vals, int n);
} LWSaveState;

enum { LWIO_BINARY = 0, LWIO_ASCII = 1 };

/* ---- Texture handler (class "TextureHandler", version 5) ----------------------------------- */
#define TEXTURE_HANDLER_CLASS "TextureHandler"
#define TEXTURE_HANDLER_VERSION 5

typedef struct st_LWTextureAccess {
    double wPos[3];      /* world position, untransformed */
    double tPos[3];
    double size[3];
    double amp;
    double spotSize;
    double txGrad[3];
    int axis;
    int flags;
    double octaves;
    double txRGBA[4];
} LWTextureAccess;

typedef struct st_LWNameChangeData {
    const char *oldName;
    const char *newName;
    LWItemID id;
} LWNameChangeData;

typedef struct st_LWInstanceFuncs {
    void *priv;
    LWInstance (*create)(void *priv, void *context, LWError *error);
    void (*destroy)(LWInstance inst);
    LWError (*copy)(LWInstance to, LWInstance from);
    LWError (*load)(LWInstance inst, const LWLoadState *state);
    LWError (*save)(LWInstance inst, const LWSaveState *state);
    const char *(*descln)(LWInstance inst);
} LWInstanceFuncs;

typedef struct st_LWItemFuncs {
    const LWItemID *(*useItems)(LWInstance inst);
    void (*changeID)(LWInstance inst, const LWItemID *idList);
    void (*changeName)(LWInstance inst, const LWNameChangeData *change);
} LWItemFuncs;

typedef struct st_LWRenderFuncs {
    LWError (*init)(LWInstance inst, int mode);
    void (*cleanup)(LWInstance inst);
    LWError (*newTime)(LWInstance inst, LWFrame frame, LWTime time);
} LWRenderFuncs;

enum { LWINIT_PREVIEW = 0, LWINIT_RENDER = 1 };

typedef struct st_LWTextureHandler {
    LWInstanceFuncs *inst;
    LWItemFuncs *item;
    LWRenderFuncs *rend;
    double (*evaluate)(LWInstance inst, LWTextureAccess *access);
    unsigned int (*flags)(LWInstance inst);
} LWTextureHandler;

enum { LWTEXF_GRAD = 1, LWTEXF_SLOWPREVIEW = 2, LWTEXF_AXIS = 4, LWTEXF_AALIAS = 8 };

/* ---- Interface (class "TextureInterface", version 4) ---------------------------------------- */
#define TEXTURE_INTERFACE_CLASS "TextureInterface"
#define TEXTURE_INTERFACE_VERSION 4

typedef struct st_LWInterface {
    LWInstance inst;
    LWXPanelID panel;
    LWError (*options)(LWInstance inst);
    LWError (*command)(LWInstance inst, const char *command);
} LWInterface;

/* ---- XPanel ("LWXPanel") -------------------------------------------------------------------- */
typedef void *LWXPanelHint;      /* hint arrays: pointer-sized elements */

typedef struct st_LWXPanelControl {
    unsigned int cid;
    const char *label;
    const char *ctrlclass;
} LWXPanelControl;

typedef struct st_LWXPanelDataDesc {
    unsigned int vid;
    const char *name;
    const char *datatype;
} LWXPanelDataDesc;

typedef void *LWXPanelGetFunc(void *inst, unsigned int vid);
typedef int LWXPanelSetFunc(void *inst, unsigned int vid, void *value);  /* refresh code; 0: not recognised */
typedef int LWXPanelPopCntFunc(void *userData);
typedef const char *LWXPanelPopNameFunc(void *userData, int index);

enum { LWXP_VIEW = 1, LWXP_FORM = 2 };
enum { LWXPRC_NONE = 0, LWXPRC_DFLT = 1, LWXPRC_DRAW = 2, LWXPRC_FULL = 3 };

#define XPTAG_LABEL 0x3D000B03u
#define XPTAG_POPFUNCS 0x3D016203u
#define XPTAG_STRLIST 0x3D014503u
#define XPTAG_DESTROYNOTIFY 0x3D001302u

typedef struct st_LWXPanelFuncs {
    int version;
    void *drawf;
    LWXPanelID (*create)(int type, LWXPanelControl *controls);
    void (*destroy)(LWXPanelID panel);
    void (*describe)(LWXPanelID panel, LWXPanelDataDesc *data, LWXPanelGetFunc *get,
                     LWXPanelSetFunc *set);
    void (*hint)(LWXPanelID panel, unsigned int id, LWXPanelHint *hints);
    void *(*getData)(LWXPanelID panel, unsigned int id);
    void (*setData)(LWXPanelID panel, unsigned int id, void *data);
    void *(*formGet)(LWXPanelID panel, unsigned int vid);
    void (*formSet)(LWXPanelID panel, unsigned int vid, void *value);
    void (*viewInst)(LWXPanelID panel, void *inst);
    void (*viewRefresh)(LWXPanelID panel);
    int (*post)(LWXPanelID panel);
    int (*open)(LWXPanelID panel);
} LWXPanelFuncs;

/* ---- Item info ("LW Item Info 3") ----------------------------------------------------------- */
enum { LWI_OBJECT = 0, LWI_LIGHT = 1, LWI_CAMERA = 2, LWI_BONE = 3 };

typedef struct st_LWItemInfo {
    LWItemID (*first)(int itemType, LWItemID bone);
    LWItemID (*next)(LWItemID item);
    LWItemID (*firstChild)(LWItemID parent);
    LWItemID (*nextChild)(LWItemID parent, LWItemID prevChild);
    LWItemID (*parent)(LWItemID item);
    LWItemID (*target)(LWItemID item);
    LWItemID (*goal)(LWItemID item);
    int (*type)(LWItemID item);
    const char *(*name)(LWItemID item);
} LWItemInfo;

/* ---- Object info ("LW Object Info 4") and mesh info ---------------------------------------- */
typedef struct st_LWMeshInfo LWMeshInfo;
typedef size_t LWPntScanFunc(void *data, LWPntID point);
typedef size_t LWPolScanFunc(void *data, LWPolID polygon);

struct st_LWMeshInfo {
    void *priv;
    void (*destroy)(LWMeshInfo *mesh);
    int (*numPoints)(LWMeshInfo *mesh);
    int (*numPolygons)(LWMeshInfo *mesh);
    size_t (*scanPoints)(LWMeshInfo *mesh, LWPntScanFunc *callback, void *data);
    size_t (*scanPolys)(LWMeshInfo *mesh, LWPolScanFunc *callback, void *data);
    void (*pntBasePos)(LWMeshInfo *mesh, LWPntID point, float pos[3]);
    void (*pntOtherPos)(LWMeshInfo *mesh, LWPntID point, float pos[3]);
    void *(*pntVLookup)(LWMeshInfo *mesh, LWID type, const char *name);
    int (*pntVSelect)(LWMeshInfo *mesh, void *vmap);
    int (*pntVGet)(LWMeshInfo *mesh, LWPntID point, float *vector);
    LWID (*polType)(LWMeshInfo *mesh, LWPolID polygon);
    int (*polSize)(LWMeshInfo *mesh, LWPolID polygon);
    LWPntID (*polVertex)(LWMeshInfo *mesh, LWPolID polygon, int vertex);
    const char *(*polTag)(LWMeshInfo *mesh, LWPolID polygon, LWID tagType);
};

typedef struct st_LWObjectInfo {
    const char *(*filename)(LWItemID object);
    int (*numPoints)(LWItemID object);
    int (*numPolygons)(LWItemID object);
    int (*shadowOpts)(LWItemID object);
    double (*dissolve)(LWItemID object, LWTime time);
    LWMeshInfo *(*meshInfo)(LWItemID object, int frozen);
} LWObjectInfo;

/* meshInfo's frozen flag, which the texture always sets: the mesh as the renderer sees it. */
enum { LWMESH_FROZEN = 1 };

/* ---- Multithreading utilities ("MultiThreading Utilities") --------------------------------- */
typedef void *LWMTGroupID;
typedef struct st_LWMTUtilFuncs {
    LWMTGroupID (*create)(void);
    void (*destroy)(LWMTGroupID group);
    int (*lock)(LWMTGroupID group, int mutex);
    int (*unlock)(LWMTGroupID group, int mutex);
} LWMTUtilFuncs;

/* ---- Instance update ("Instance Update") --------------------------------------------------- */
typedef void LWInstUpdate(const char *className, LWInstance inst);

/* System ID: the lookup result is the value itself; the top four bits name the program. */
#define LWSYS_TYPEBITS 0xF0000000u
#define LWSYS_LAYOUT 0x00000000u
#define LWSYS_MODELER 0x10000000u
#define LWSYS_SCREAMERNET 0x20000000u

#ifdef __cplusplus
} /* extern "C" */
#endif

/* ---- Layout checks: the offsets the host relies on ------------------------------------------ */
#ifdef __cplusplus
#define OSTREVIN_STATIC_ASSERT static_assert
#else
#define OSTREVIN_STATIC_ASSERT _Static_assert
#endif

OSTREVIN_STATIC_ASSERT(offsetof(LWTextureAccess, axis) == 112, "axis is at byte 112");
OSTREVIN_STATIC_ASSERT(offsetof(LWTextureAccess, flags) == 116, "flags follow axis");
OSTREVIN_STATIC_ASSERT(offsetof(LWTextureAccess, octaves) == 120, "octaves at 120");
OSTREVIN_STATIC_ASSERT(offsetof(LWTextureAccess, txRGBA) == 128, "txRGBA at 128");
OSTREVIN_STATIC_ASSERT(sizeof(LWTextureAccess) == 160, "texture access record is 160 bytes");

#define OSTREVIN_MEMBER_AT(type, member, k)                                                        \
    OSTREVIN_STATIC_ASSERT(offsetof(type, member) == (k) * sizeof(void *), #type "." #member)

/* Tables of pointer-sized members: member k at k pointers, on every target. */
OSTREVIN_MEMBER_AT(LWInstanceFuncs, descln, 6);
OSTREVIN_MEMBER_AT(LWItemFuncs, changeID, 1);
OSTREVIN_MEMBER_AT(LWRenderFuncs, newTime, 2);
OSTREVIN_MEMBER_AT(LWTextureHandler, flags, 4);
OSTREVIN_MEMBER_AT(LWInterface, command, 3);
OSTREVIN_MEMBER_AT(LWItemInfo, name, 8);
OSTREVIN_MEMBER_AT(LWObjectInfo, meshInfo, 5);
OSTREVIN_MEMBER_AT(LWMeshInfo, destroy, 1);
OSTREVIN_MEMBER_AT(LWMeshInfo, numPolygons, 3);
OSTREVIN_MEMBER_AT(LWMeshInfo, scanPolys, 5);
OSTREVIN_MEMBER_AT(LWMeshInfo, pntOtherPos, 7);
OSTREVIN_MEMBER_AT(LWMeshInfo, polSize, 12);
OSTREVIN_MEMBER_AT(LWMeshInfo, polVertex, 13);
OSTREVIN_MEMBER_AT(LWMTUtilFuncs, unlock, 3);
OSTREVIN_MEMBER_AT(ServerRecord, tagInfo, 3);
/* Tables that begin with an int: the int takes a whole slot (padded on 64-bit). */
OSTREVIN_MEMBER_AT(LWXPanelFuncs, drawf, 1);
OSTREVIN_MEMBER_AT(LWXPanelFuncs, create, 2);
OSTREVIN_MEMBER_AT(LWXPanelFuncs, describe, 4);
OSTREVIN_MEMBER_AT(LWXPanelFuncs, hint, 5);
OSTREVIN_MEMBER_AT(LWXPanelFuncs, setData, 7);
OSTREVIN_MEMBER_AT(LWXPanelFuncs, viewInst, 10);
OSTREVIN_MEMBER_AT(LWXPanelFuncs, viewRefresh, 11);
OSTREVIN_MEMBER_AT(LWLoadState, readData, 1);
OSTREVIN_MEMBER_AT(LWLoadState, read, 2);
OSTREVIN_MEMBER_AT(LWLoadState, readU2, 7);
OSTREVIN_MEMBER_AT(LWLoadState, readDP, 15);
OSTREVIN_MEMBER_AT(LWSaveState, writeData, 1);
OSTREVIN_MEMBER_AT(LWSaveState, write, 2);
OSTREVIN_MEMBER_AT(LWSaveState, writeU2, 7);
OSTREVIN_MEMBER_AT(LWSaveState, writeDP, 15);
OSTREVIN_STATIC_ASSERT(sizeof(LWPolScanFunc *) == sizeof(void *), "scan callback is a pointer");

#if defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 4
OSTREVIN_STATIC_ASSERT(sizeof(ModuleDescriptor) == 24, "descriptor: six 32-bit words");
OSTREVIN_STATIC_ASSERT(offsetof(ModuleDescriptor, startup) == 12, "descriptor: start-up at byte 12");
OSTREVIN_STATIC_ASSERT(offsetof(ModuleDescriptor, serverDefs) == 20, "descriptor: server list at byte 20");
OSTREVIN_STATIC_ASSERT(sizeof(ServerTagInfo) == 8, "server tag: two 32-bit words");
OSTREVIN_STATIC_ASSERT(sizeof(ServerRecord) == 16, "server record: four 32-bit words");
OSTREVIN_STATIC_ASSERT(sizeof(LWXPanelControl) == 12, "control record: 12 bytes");
OSTREVIN_STATIC_ASSERT(sizeof(LWXPanelDataDesc) == 12, "data description: 12 bytes");
OSTREVIN_STATIC_ASSERT(offsetof(LWLoadState, readU2) == 28, "readU2 at byte 28");
OSTREVIN_STATIC_ASSERT(offsetof(LWSaveState, writeU2) == 28, "writeU2 at byte 28");
OSTREVIN_STATIC_ASSERT(offsetof(LWMeshInfo, polVertex) == 52, "polVertex at byte 52");
OSTREVIN_STATIC_ASSERT(offsetof(LWItemInfo, name) == 32, "name at byte 32");
OSTREVIN_STATIC_ASSERT(offsetof(LWObjectInfo, meshInfo) == 20, "meshInfo at byte 20");
OSTREVIN_STATIC_ASSERT(sizeof(size_t) == 4, "scan result is 32 bits wide here");
#elif defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 8
/* The 64-bit host's offsets (Windows x64; Linux and macOS agree, since no table uses `long`). */
OSTREVIN_STATIC_ASSERT(sizeof(unsigned int) == 4 && sizeof(int) == 4, "ints stay 32 bits");
OSTREVIN_STATIC_ASSERT(offsetof(ModuleDescriptor, sysMachine) == 8, "descriptor: machine word at byte 8");
OSTREVIN_STATIC_ASSERT(offsetof(ModuleDescriptor, startup) == 16, "descriptor: start-up at byte 16");
OSTREVIN_STATIC_ASSERT(offsetof(ModuleDescriptor, shutdown) == 24, "descriptor: shut-down at byte 24");
OSTREVIN_STATIC_ASSERT(offsetof(ModuleDescriptor, serverDefs) == 32, "descriptor: server list at byte 32");
OSTREVIN_STATIC_ASSERT(sizeof(ModuleDescriptor) == 40, "descriptor: 40 bytes");
OSTREVIN_STATIC_ASSERT(offsetof(ServerTagInfo, tag) == 8 && sizeof(ServerTagInfo) == 16, "server tag: 16 bytes");
OSTREVIN_STATIC_ASSERT(sizeof(ServerRecord) == 32, "server record: four pointers");
OSTREVIN_STATIC_ASSERT(sizeof(LWInstanceFuncs) == 56, "instance functions: seven pointers");
OSTREVIN_STATIC_ASSERT(sizeof(LWItemFuncs) == 24, "item functions: three pointers");
OSTREVIN_STATIC_ASSERT(sizeof(LWRenderFuncs) == 24, "render functions: three pointers");
OSTREVIN_STATIC_ASSERT(sizeof(LWTextureHandler) == 40, "texture handler: five pointers");
OSTREVIN_STATIC_ASSERT(sizeof(LWInterface) == 32, "interface: four pointers");
OSTREVIN_STATIC_ASSERT(offsetof(LWNameChangeData, id) == 16, "name change: item ID at byte 16");
OSTREVIN_STATIC_ASSERT(offsetof(LWXPanelControl, label) == 8 && sizeof(LWXPanelControl) == 24,
                       "control record: padding after the ID, 24 bytes");
OSTREVIN_STATIC_ASSERT(offsetof(LWXPanelDataDesc, name) == 8 && sizeof(LWXPanelDataDesc) == 24,
                       "data description: padding after the ID, 24 bytes");
OSTREVIN_STATIC_ASSERT(offsetof(LWXPanelFuncs, drawf) == 8, "XPanel: the version int padded to 8 bytes");
OSTREVIN_STATIC_ASSERT(offsetof(LWXPanelFuncs, viewRefresh) == 88, "XPanel: viewRefresh at byte 88");
OSTREVIN_STATIC_ASSERT(sizeof(LWXPanelHint) == 8, "hint elements are 8 bytes");
OSTREVIN_STATIC_ASSERT(offsetof(LWLoadState, readData) == 8, "load state: data at byte 8");
OSTREVIN_STATIC_ASSERT(offsetof(LWLoadState, read) == 16, "load state: read at byte 16");
OSTREVIN_STATIC_ASSERT(offsetof(LWLoadState, readU2) == 56, "load state: readU2 at byte 56");
OSTREVIN_STATIC_ASSERT(offsetof(LWSaveState, write) == 16, "save state: write at byte 16");
OSTREVIN_STATIC_ASSERT(offsetof(LWSaveState, writeU2) == 56, "save state: writeU2 at byte 56");
OSTREVIN_STATIC_ASSERT(offsetof(LWItemInfo, name) == 64, "item info: name at byte 64");
OSTREVIN_STATIC_ASSERT(offsetof(LWObjectInfo, meshInfo) == 40, "object info: meshInfo at byte 40");
OSTREVIN_STATIC_ASSERT(offsetof(LWMeshInfo, destroy) == 8, "mesh info: destroy at byte 8");
OSTREVIN_STATIC_ASSERT(offsetof(LWMeshInfo, scanPolys) == 40, "mesh info: scanPolys at byte 40");
OSTREVIN_STATIC_ASSERT(offsetof(LWMeshInfo, pntOtherPos) == 56, "mesh info: pntOtherPos at byte 56");
OSTREVIN_STATIC_ASSERT(offsetof(LWMeshInfo, polSize) == 96, "mesh info: polSize at byte 96");
OSTREVIN_STATIC_ASSERT(offsetof(LWMeshInfo, polVertex) == 104, "mesh info: polVertex at byte 104");
OSTREVIN_STATIC_ASSERT(offsetof(LWMTUtilFuncs, unlock) == 24, "multithreading: unlock at byte 24");
OSTREVIN_STATIC_ASSERT(sizeof(size_t) == 8, "scan result is pointer-sized: 64 bits here");
#elif defined(__SIZEOF_POINTER__)
#error "the host's tables are laid out for 32- and 64-bit builds only"
#endif

#endif /* OSTREVIN_FRAMEWORK_HOST_API_H */
