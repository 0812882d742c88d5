// The import list's query: every fetched invoice with the date, number and buyer read from its JSON,
// beside the QEM client invoice that has the same date and number (once per such document).
#pragma once

#include <QStringList>

namespace qv::import {

inline QStringList listQuerySql() {
    return {
        "select l.id_fact,",
        "       l.api_end_point,",
        "       l.err_la_import,",
        "       l.data_preluare_json,",
        "       l.data_doc_json,",
        "       l.nr_doc_json,",
        "       l.partener_json,",
        "       d.data_doc as data_doc_qem,",
        "       d.tip_doc as tip_doc_qem,",
        "       d.nr_doc as nr_doc_qem,",
        "       d.partener as partener_qem",
        "from (select q.*,",
        "             cast(q.fact_c_json::json->'header'->'generalInformation'->>'invoiceDate' as date) as data_doc_json,",
        "             q.fact_c_json::json->'header'->'generalInformation'->>'invoiceNumber' as nr_doc_json,",
        "             q.fact_c_json::json->'header'->'buyerInformation'->>'buyerName' as partener_json",
        "      from log_quorvela q",
        "      --where q.data_preluare_json >= :pDataIncep",
        "     ) l",
        "     left outer join doc d",
        "       on d.data_doc = l.data_doc_json",
        "      and d.nr_doc = l.nr_doc_json",
        "      and d.tip_doc = 'FactCI'",
        "order by l.id_fact desc",
        ";",
    };
}

// The same list for one invoice id (":id_fact"), read again after that invoice moved. The inner select is
// fenced off (offset 0) so that its JSON is read once, not once for every document the join looks at.
inline QStringList listRecordSql() {
    QStringList sql = listQuerySql();
    const qsizetype at = sql.indexOf(QStringLiteral("      --where q.data_preluare_json >= :pDataIncep"));
    sql[at] = QStringLiteral("      where q.id_fact = :id_fact");
    sql.insert(at + 1, QStringLiteral("      offset 0"));
    return sql;
}

}  // namespace qv::import
