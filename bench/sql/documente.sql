-- A QEM database that already holds :n_docs client invoices moved from the back office (log rows, partners,
-- documents, lines), and :n_noi logged invoices waiting to be moved. Needs bench_factura.
INSERT INTO partener (denumire, cod_fiscal, adresa)
SELECT 'Client ' || p || ' Turism SRL', 'RO' || (20000000 + p), 'Str. Principala ' || (p % 90 + 1) || ', Brasov'
  FROM generate_series(0, 499) AS p;

INSERT INTO log_quorvela (id_fact, api_end_point, fact_c_json, data_preluare_json)
SELECT i, 'B2B', bench_factura(i), now() - interval '1 day'
  FROM generate_series(1, :n_docs) AS i;

INSERT INTO doc (tip_doc, data_doc, nr_doc, partener, id_partener, emitent, moneda, data_scadenta,
                 valoare_fara_tva, valoare_tva, valoare_totala, id_fact, api_end_point)
SELECT 'FactCI', (y.g ->> 'invoiceDate')::date, y.g ->> 'invoiceNumber', y.b ->> 'buyerName', p.id_partener,
       'contabil', 'RON', (y.g ->> 'dueDate')::date, (y.t ->> 'netAmount')::numeric,
       (y.t ->> 'vatAmount')::numeric, (y.t ->> 'grossAmount')::numeric, l.id_fact, l.api_end_point
  FROM log_quorvela AS l
 CROSS JOIN LATERAL (SELECT l.fact_c_json::json AS j OFFSET 0) AS x
 CROSS JOIN LATERAL (SELECT x.j -> 'header' -> 'generalInformation' AS g, x.j -> 'header' -> 'buyerInformation' AS b,
                            x.j -> 'totals' AS t OFFSET 0) AS y
  JOIN partener AS p ON p.cod_fiscal = y.b ->> 'buyerVatCode';

INSERT INTO doc_linie (id_doc, nr_linie, cod_articol, denumire, um, cantitate, pret_unitar, cota_tva,
                       valoare_fara_tva, valoare_tva)
SELECT d.id_doc, e.pos, e.l ->> 'itemCode', e.l ->> 'itemName', e.l ->> 'unit', (e.l ->> 'quantity')::numeric,
       (e.l ->> 'unitPrice')::numeric, (e.l ->> 'vatRate')::numeric, (e.l ->> 'netAmount')::numeric,
       (e.l ->> 'vatAmount')::numeric
  FROM doc AS d
  JOIN log_quorvela AS l ON l.id_fact = d.id_fact AND l.api_end_point = d.api_end_point
 CROSS JOIN LATERAL json_array_elements(l.fact_c_json::json -> 'lines') WITH ORDINALITY AS e(l, pos);

INSERT INTO log_quorvela (id_fact, api_end_point, fact_c_json)
SELECT i, 'B2B', bench_factura(i)
  FROM generate_series(5000001, 5000000 + :n_noi) AS i;

VACUUM ANALYZE partener, doc, doc_linie, log_quorvela;
