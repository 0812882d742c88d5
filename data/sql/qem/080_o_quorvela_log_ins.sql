-- The id of one invoice of an answer, or an error naming its position and what is wrong with it. The insert
-- below calls it only for ids its quick test does not accept. Raising from inside that insert undoes it, so a
-- bad invoice anywhere in the answer leaves nothing behind.
CREATE FUNCTION quorvela_id_fact(ppozitie bigint, pinvoice json, pid json)
RETURNS bigint
LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
  IF json_typeof(pid) = 'number' AND pid::text ~ '^[0-9]{1,19}$'
     AND pid::text::numeric BETWEEN 1 AND 9223372036854775807 THEN
    RETURN pid::text::bigint;
  END IF;
  IF json_typeof(pinvoice) IS DISTINCT FROM 'object' THEN
    RAISE EXCEPTION 'Elementul de pe pozitia % din "invoices" nu este o factura (obiect JSON): %. Nu s-a salvat nicio factura',
      ppozitie, left(pinvoice::text, 60);
  ELSIF pid IS NULL OR json_typeof(pid) = 'null' THEN
    RAISE EXCEPTION 'Factura de pe pozitia % din raspuns nu are "invoiceId". Nu s-a salvat nicio factura', ppozitie;
  END IF;
  RAISE EXCEPTION 'Factura de pe pozitia % din raspuns are "invoiceId" invalid: %; trebuie sa fie un numar intreg intre 1 si 9223372036854775807. Nu s-a salvat nicio factura',
    ppozitie, left(pid::text, 60);
END
$$;

-- Stores every invoice of one back-office answer in log_quorvela, as received (json, not jsonb, keeps the
-- text: key order, spacing, number formats). An invoice already held for the channel is left as it is, so a
-- repeated answer stores nothing new. Returns the number of invoices stored. work_mem: the elements of a large
-- answer stay in memory instead of going through a temporary file.
CREATE FUNCTION o_quorvela_log_ins(pjson text, papiendpoint text)
RETURNS integer
LANGUAGE plpgsql
SET work_mem = '64MB'
AS $$
DECLARE
  v_answer   json;
  v_invoices json;
  v_new      integer;
  v_detail   text;
BEGIN
  IF papiendpoint IS NULL OR papiendpoint !~ '^[A-Za-z0-9]{1,3}$' THEN
    RAISE EXCEPTION 'Canal API invalid: "%" (se astepta B2B sau B2C)', coalesce(papiendpoint, '');
  END IF;
  IF pjson IS NULL THEN
    RAISE EXCEPTION 'Raspunsul Quorvela este gol';
  END IF;
  BEGIN
    v_answer := pjson::json;
  EXCEPTION WHEN invalid_text_representation THEN
    GET STACKED DIAGNOSTICS v_detail = PG_EXCEPTION_DETAIL;
    RAISE EXCEPTION 'Raspunsul Quorvela nu este JSON valid' USING DETAIL = coalesce(v_detail, SQLERRM);
  END;
  IF json_typeof(v_answer) = 'object' THEN
    v_invoices := v_answer -> 'invoices';
  END IF;
  IF v_invoices IS NULL OR json_typeof(v_invoices) <> 'array' THEN
    RAISE EXCEPTION 'Raspunsul Quorvela nu contine lista "invoices"';
  END IF;

  -- One statement for the whole answer. The elements come out in array order, so the first bad invoice is
  -- the one reported. OFFSET 0 keeps the id extracted once per invoice instead of once per use. Up to 18
  -- digits always fit a bigint; anything else (19 digits, signs, fractions, strings) takes the careful path.
  INSERT INTO log_quorvela (id_fact, api_end_point, fact_c_json)
  SELECT CASE WHEN json_typeof(i.id) = 'number' AND translate(i.id::text, '0123456789', '') = ''
                   AND length(i.id::text) BETWEEN 1 AND 18 AND i.id::text <> '0'
              THEN i.id::text::bigint
              ELSE quorvela_id_fact(x.pos, x.inv, i.id) END,
         papiendpoint,
         x.inv::text
    FROM json_array_elements(v_invoices) WITH ORDINALITY AS x(inv, pos)
   CROSS JOIN LATERAL (SELECT x.inv -> 'invoiceId' AS id OFFSET 0) AS i
  ON CONFLICT (id_fact, api_end_point) DO NOTHING;

  GET DIAGNOSTICS v_new = ROW_COUNT;
  RETURN v_new;
END
$$;
