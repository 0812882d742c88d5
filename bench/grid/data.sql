-- The import list at the size of a busy company: :n logged invoices shaped like the back office's (header,
-- two to four lines, totals), buyers from a pool of 600 Romanian names, and a QEM client invoice for each
-- logged invoice but every twentieth (those are still waiting to be moved). One in a hundred carries an
-- error from an earlier transfer.
CREATE TEMP TABLE buyer AS
SELECT b AS id,
       (ARRAY['Ștefănescu','Ţara Noastră','Alfa','Brașov','Îngeraș','Delta','Mureș','Vâlcea','Argeș','Cetatea',
              'Olt','Săgeata','Carpați','Dunărea','Târgu','Bucovina','Zărnești','Mioriţa','Râșnov','Ialomița'])
         [1 + b % 20] || ' ' ||
       (ARRAY['Impex','Comerț','Trans','Prod','Serv','Construct','Agro','Turism','Distribuție','Logistic'])
         [1 + (b / 20) % 10] || ' ' || (b / 200 + 1) ||
       (ARRAY[' SRL',' SA',' SRL-D',' SNC'])[1 + b % 4] AS name,
       'RO' || (10000000 + b * 7919) AS vat
  FROM generate_series(0, 599) AS b;

INSERT INTO log_quorvela (id_fact, api_end_point, err_la_import, data_preluare_json, fact_c_json)
SELECT i,
       CASE WHEN i % 3 = 0 THEN 'B2C' ELSE 'B2B' END,
       CASE WHEN i % 100 = 7 THEN 'Partenerul ' || b.vat || ' nu exista in QEM' END,
       timestamp '2024-01-01 08:00' + i * interval '2 minutes 13 seconds',
       json_build_object(
         'header', json_build_object(
           'generalInformation', json_build_object(
             'invoiceNumber', 'QV' || lpad(i::text, 9, '0'),
             'invoiceDate', (date '2024-01-01' + (i / 300))::text,
             'dueDate', (date '2024-01-31' + (i / 300))::text,
             'currency', 'RON', 'invoiceType', 'standard', 'note', 'Factura emisa din Quorvela'),
           'sellerInformation', json_build_object(
             'sellerName', 'Quorvela Travel SRL', 'sellerVatCode', 'RO12345678',
             'sellerAddress', 'Str. Republicii 12, Brasov'),
           'buyerInformation', json_build_object(
             'buyerName', b.name, 'buyerVatCode', b.vat,
             'buyerAddress', 'Str. Principala ' || (b.id % 90 + 1) || ', Brasov')),
         'lines', (SELECT json_agg(json_build_object(
                     'lineNo', n, 'itemCode', 'SRV' || (100 + (i + n) % 40), 'itemName', 'Pachet turistic ' || n,
                     'unit', 'buc', 'quantity', 1 + (i + n) % 4, 'unitPrice', 100 + (i * n) % 400,
                     'vatRate', 9, 'netAmount', (1 + (i + n) % 4) * (100 + (i * n) % 400)))
                   FROM generate_series(1, 2 + i % 3) AS n),
         'totals', json_build_object('netAmount', 100 + i % 900, 'vatAmount', 9 + i % 81, 'grossAmount', 109 + i % 981)
       )::text
  FROM generate_series(1, :n) AS i
  JOIN buyer AS b ON b.id = i % 600;

INSERT INTO doc (tip_doc, data_doc, nr_doc, partener, valoare_fara_tva, valoare_tva, valoare_totala, id_fact,
                 api_end_point)
SELECT 'FactCI', date '2024-01-01' + (i / 300), 'QV' || lpad(i::text, 9, '0'), b.name, 100 + i % 900, 9 + i % 81,
       109 + i % 981, i, CASE WHEN i % 3 = 0 THEN 'B2C' ELSE 'B2B' END
  FROM generate_series(1, :n) AS i
  JOIN buyer AS b ON b.id = i % 600
 WHERE i % 20 <> 0;

-- Documents of other QEM programs, so that doc holds as many rows as the log.
INSERT INTO doc (tip_doc, data_doc, nr_doc, partener)
SELECT 'NIR', date '2024-01-01' + (i / 300), 'N' || i, 'Furnizor ' || (i % 50)
  FROM generate_series(1, :n / 20) AS i;

ANALYZE log_quorvela;
ANALYZE doc;
