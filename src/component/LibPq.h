#pragma once
// libpq is loaded the first time a PostgreSQL connection string is met. It
// brings some twenty libraries (Kerberos, LDAP, TLS) whose loading was most
// of a start-up, and a SQLite site needs none of them.
#include <QString>
#include <libpq-fe.h>

namespace hx {

// clang-format off
#define HX_LIBPQ_FUNCTIONS(F)                                                                     \
    F(PQclear) F(PQcmdTuples) F(PQconninfoFree) F(PQconninfoParse) F(PQdb)                        \
    F(PQenterPipelineMode) F(PQerrorMessage) F(PQexec) F(PQexecParams) F(PQexitPipelineMode)      \
    F(PQfreemem) F(PQgetResult) F(PQhost) F(PQntuples) F(PQparameterStatus) F(PQpipelineSync)     \
    F(PQport) F(PQresultErrorField) F(PQresultErrorMessage) F(PQresultStatus)                     \
    F(PQsendQueryParams) F(PQstatus) F(PQtransactionStatus) F(PQuser)
// clang-format on

struct LibPq {
#define HX_LIBPQ_POINTER(name) decltype(&::name) name = nullptr;
    HX_LIBPQ_FUNCTIONS(HX_LIBPQ_POINTER)
#undef HX_LIBPQ_POINTER
};

// The library's functions, or nullptr with the reason in *why when it cannot
// be loaded. Loads once; safe from any thread.
const LibPq *findLibPq(QString *why = nullptr);
// The same for code that runs on an open PostgreSQL connection, where the
// library is loaded already: throws HxError when it is not there.
const LibPq &libpq();

} // namespace hx
