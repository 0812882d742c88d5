-- Invoices shaped like the back office's, generated from their id: 1 to 4 lines, a pool of 500 buyers,
-- dates over two years, amounts that add up the way the back office computes them.
CREATE FUNCTION bench_factura(pid bigint)
RETURNS text
LANGUAGE sql IMMUTABLE AS $$
  WITH l AS (
    SELECT n,
           (1 + (pid * 7 + n * 3) % 5)::numeric AS qty,
           round((40 + (pid * 37 + n * 11) % 460) + ((pid + n) % 100) / 100.0, 2) AS price,
           CASE WHEN (pid + n) % 3 = 0 THEN 19 ELSE 9 END AS rate
    FROM generate_series(1, 1 + (pid % 4)::int) AS n
  ), a AS (
    SELECT n, qty, price, rate, round(qty * price, 2) AS net, round(round(qty * price, 2) * rate / 100, 2) AS vat
    FROM l
  )
  SELECT json_build_object(
           'invoiceId', pid,
           'header', json_build_object(
             'generalInformation', json_build_object(
               'invoiceNumber', 'QVB-' || lpad(pid::text, 7, '0'),
               'invoiceDate', to_char(DATE '2024-01-01' + (pid % 730)::int, 'YYYY-MM-DD'),
               'dueDate', to_char(DATE '2024-01-31' + (pid % 730)::int, 'YYYY-MM-DD'),
               'currency', 'RON'),
             'sellerInformation', json_build_object('sellerName', 'Quorvela Travel SRL', 'sellerVatCode', 'RO30111222'),
             'buyerInformation', json_build_object(
               'buyerName', 'Client ' || (pid % 500) || ' Turism SRL',
               'buyerVatCode', 'RO' || (20000000 + pid % 500),
               'buyerAddress', 'Str. Principala ' || (pid % 90 + 1) || ', Brasov')),
           'lines', (SELECT json_agg(json_build_object(
                       'lineNo', n, 'itemCode', 'CAZ-' || n || 'N', 'itemName', 'Cazare ' || n || ' nopti, camera dubla',
                       'unit', 'buc', 'quantity', qty, 'unitPrice', price, 'vatRate', rate,
                       'netAmount', net, 'vatAmount', vat) ORDER BY n) FROM a),
           'totals', (SELECT json_build_object('netAmount', sum(net), 'vatAmount', sum(vat),
                                               'grossAmount', sum(net) + sum(vat)) FROM a))::text
$$;
