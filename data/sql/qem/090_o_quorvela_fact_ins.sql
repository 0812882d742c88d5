-- A date as the back office writes it (yyyy-mm-dd), or null when absent. Only this one form is accepted: the
-- invoice list casts the same text to a date, and an unambiguous form keeps that cast independent of the
-- session's DateStyle, so the document always matches its log row.
CREATE FUNCTION quorvela_data(ptext text, peticheta text)
RETURNS date
LANGUAGE plpgsql STABLE AS $$
BEGIN
  IF ptext IS NULL THEN
    RETURN NULL;
  END IF;
  IF ptext ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$' THEN
    BEGIN
      RETURN ptext::date;
    EXCEPTION WHEN datetime_field_overflow OR invalid_datetime_format THEN
      NULL;  -- falls through to the message below
    END;
  END IF;
  RAISE EXCEPTION '% "%" nu este o data valida (aaaa-ll-zz)', peticheta, left(ptext, 40);
END
$$;

-- Turns a logged invoice into a QEM client invoice: the partner (when new), the 'FactCI' document and its
-- lines. Every refusal is raised before anything is written, with a message the user can act on; the
-- program stores it against the log row. Returns the new document's id.
CREATE FUNCTION o_quorvela_fact_ins(pemitent text, pidfact bigint)
RETURNS bigint
LANGUAGE plpgsql AS $$
DECLARE
  -- Widths of doc.nr_doc and doc.partener. A cut number would never match its log row again, so a value
  -- that does not fit is refused, never shortened.
  c_nr_doc_max   constant integer := 15;
  c_partener_max constant integer := 100;
  -- Amounts carry two decimals; one cent absorbs a rounding difference between lines and totals.
  c_toleranta    constant numeric := 0.01;

  v_randuri    integer;
  v_canale     text;
  v_canal      text;
  v_json_txt   text;
  j            json;
  v_gi         json;
  v_buyer      json;
  v_totals     json;
  v_lines      json;
  v_data_txt   text;
  v_data       date;
  v_scadenta   date;
  v_nr         text;
  v_partener   text;
  v_cf         text;
  v_adresa     text;
  v_moneda     text;
  v_net        numeric;
  v_tva        numeric;
  v_total      numeric;
  v_sum_net    numeric;
  v_sum_tva    numeric;
  v_linie_rea  bigint;
  v_id_partener bigint;
  v_id_doc     bigint;
BEGIN
  IF pidfact IS NULL THEN
    RAISE EXCEPTION 'Lipseste idFact-ul facturii';
  END IF;

  -- The lock comes before every check: a second transfer of the same invoice waits here until the first
  -- one commits, and then finds its document.
  SELECT count(*), string_agg(l.api_end_point, ' si ' ORDER BY l.api_end_point), min(l.api_end_point),
         min(l.fact_c_json)
    INTO v_randuri, v_canale, v_canal, v_json_txt
    FROM (SELECT api_end_point, fact_c_json FROM log_quorvela WHERE id_fact = pidfact FOR UPDATE) l;
  IF v_randuri = 0 THEN
    RAISE EXCEPTION 'Factura cu idFact % nu a fost preluata din Quorvela', pidfact;
  ELSIF v_randuri > 1 THEN
    RAISE EXCEPTION 'Factura cu idFact % este preluata pe mai multe canale (%); nu se poate alege una dintre ele',
      pidfact, coalesce(v_canale, '');
  END IF;

  IF pemitent IS NULL OR NOT EXISTS (SELECT 1 FROM emitent WHERE emitent = pemitent) THEN
    RAISE EXCEPTION 'Utilizatorul "%" nu exista in QEM', coalesce(pemitent, '');
  END IF;

  IF v_json_txt IS NULL THEN
    RAISE EXCEPTION 'Factura cu idFact % nu are continut JSON', pidfact;
  END IF;
  BEGIN
    j := v_json_txt::json;
  EXCEPTION WHEN invalid_text_representation THEN
    RAISE EXCEPTION 'Factura cu idFact % nu are un JSON valid', pidfact USING DETAIL = SQLERRM;
  END;

  -- Members that are missing or of the wrong kind read as null here (-> on a non-object gives null).
  v_gi       := j -> 'header' -> 'generalInformation';
  v_buyer    := j -> 'header' -> 'buyerInformation';
  v_data_txt := v_gi ->> 'invoiceDate';
  v_nr       := v_gi ->> 'invoiceNumber';
  v_moneda   := coalesce(nullif(btrim(v_gi ->> 'currency'), ''), 'RON');
  v_partener := v_buyer ->> 'buyerName';
  v_cf       := nullif(btrim(v_buyer ->> 'buyerVatCode'), '');
  v_adresa   := v_buyer ->> 'buyerAddress';

  IF v_data_txt IS NULL OR btrim(v_data_txt) = '' THEN
    RAISE EXCEPTION 'Factura nu are data (invoiceDate)';
  END IF;
  IF v_nr IS NULL OR btrim(v_nr) = '' THEN
    RAISE EXCEPTION 'Factura nu are numar (invoiceNumber)';
  END IF;
  IF v_partener IS NULL OR btrim(v_partener) = '' THEN
    RAISE EXCEPTION 'Factura nu are cumparator (buyerName)';
  END IF;
  v_data := quorvela_data(v_data_txt, 'Data facturii');
  v_scadenta := quorvela_data(v_gi ->> 'dueDate', 'Data scadentei');
  IF length(v_nr) > c_nr_doc_max THEN
    RAISE EXCEPTION 'Numarul facturii "%" are % caractere; in QEM numarul are cel mult %',
      v_nr, length(v_nr), c_nr_doc_max;
  END IF;
  IF length(v_partener) > c_partener_max THEN
    RAISE EXCEPTION 'Numele cumparatorului "%..." are % caractere; in QEM partenerul are cel mult %',
      left(v_partener, 40), length(v_partener), c_partener_max;
  END IF;
  IF v_moneda !~ '^[A-Za-z]{3}$' THEN
    RAISE EXCEPTION 'Moneda facturii "%" nu este un cod de 3 litere', left(v_moneda, 40);
  END IF;

  v_totals := j -> 'totals';
  IF json_typeof(v_totals -> 'netAmount') IS DISTINCT FROM 'number'
     OR json_typeof(v_totals -> 'vatAmount') IS DISTINCT FROM 'number'
     OR json_typeof(v_totals -> 'grossAmount') IS DISTINCT FROM 'number' THEN
    RAISE EXCEPTION 'Factura nu are totalurile ca numere (totals: netAmount, vatAmount, grossAmount)';
  END IF;
  v_net   := (v_totals ->> 'netAmount')::numeric;
  v_tva   := (v_totals ->> 'vatAmount')::numeric;
  v_total := (v_totals ->> 'grossAmount')::numeric;

  v_lines := j -> 'lines';
  IF json_typeof(v_lines) IS DISTINCT FROM 'array' OR json_array_length(v_lines) = 0 THEN
    RAISE EXCEPTION 'Factura nu are linii (lines)';
  END IF;
  SELECT min(x.pos) INTO v_linie_rea
    FROM json_array_elements(v_lines) WITH ORDINALITY AS x(l, pos)
   WHERE json_typeof(x.l -> 'netAmount') IS DISTINCT FROM 'number'
      OR json_typeof(x.l -> 'vatAmount') IS DISTINCT FROM 'number'
      OR coalesce(json_typeof(x.l -> 'quantity'), 'null') NOT IN ('number', 'null')
      OR coalesce(json_typeof(x.l -> 'unitPrice'), 'null') NOT IN ('number', 'null')
      OR coalesce(json_typeof(x.l -> 'vatRate'), 'null') NOT IN ('number', 'null');
  IF v_linie_rea IS NOT NULL THEN
    RAISE EXCEPTION 'Linia % a facturii are sume lipsa sau care nu sunt numere', v_linie_rea;
  END IF;
  SELECT sum((l ->> 'netAmount')::numeric), sum((l ->> 'vatAmount')::numeric)
    INTO v_sum_net, v_sum_tva
    FROM json_array_elements(v_lines) AS l;
  IF abs(v_sum_net - v_net) > c_toleranta THEN
    RAISE EXCEPTION 'Liniile facturii nu dau totalul fara TVA: suma liniilor este %, totalul este %',
      round(v_sum_net, 2), round(v_net, 2);
  END IF;
  IF abs(v_sum_tva - v_tva) > c_toleranta THEN
    RAISE EXCEPTION 'Liniile facturii nu dau totalul TVA: suma liniilor este %, totalul este %',
      round(v_sum_tva, 2), round(v_tva, 2);
  END IF;
  IF abs(v_net + v_tva - v_total) > c_toleranta THEN
    RAISE EXCEPTION 'Totalul facturii % nu este egal cu valoarea fara TVA % plus TVA %',
      round(v_total, 2), round(v_net, 2), round(v_tva, 2);
  END IF;

  -- Two log rows (other ids, or the other channel) may carry the same date and number; their transfers
  -- queue here so that the check below and the insert cannot interleave.
  PERFORM pg_advisory_xact_lock(hashtextextended('FactCI|' || v_data::text || '|' || v_nr, 0));
  IF EXISTS (SELECT 1 FROM doc WHERE tip_doc = 'FactCI' AND data_doc = v_data AND nr_doc = v_nr) THEN
    RAISE EXCEPTION 'Factura % din % exista deja in QEM', v_nr, v_data_txt;
  END IF;

  -- The partner: by VAT code when the invoice has one, otherwise by name. ON CONFLICT covers a transfer of
  -- another invoice that creates the same partner at the same moment.
  IF v_cf IS NOT NULL THEN
    SELECT id_partener INTO v_id_partener FROM partener WHERE cod_fiscal = v_cf;
    IF v_id_partener IS NULL THEN
      INSERT INTO partener (denumire, cod_fiscal, adresa) VALUES (v_partener, v_cf, v_adresa)
        ON CONFLICT (cod_fiscal) WHERE cod_fiscal IS NOT NULL DO NOTHING
        RETURNING id_partener INTO v_id_partener;
      IF v_id_partener IS NULL THEN
        SELECT id_partener INTO v_id_partener FROM partener WHERE cod_fiscal = v_cf;
      END IF;
    END IF;
  ELSE
    SELECT id_partener INTO v_id_partener FROM partener WHERE denumire = v_partener
      ORDER BY cod_fiscal IS NULL DESC, id_partener LIMIT 1;
    IF v_id_partener IS NULL THEN
      INSERT INTO partener (denumire, adresa) VALUES (v_partener, v_adresa)
        ON CONFLICT (denumire) WHERE cod_fiscal IS NULL DO NOTHING
        RETURNING id_partener INTO v_id_partener;
      IF v_id_partener IS NULL THEN
        SELECT id_partener INTO v_id_partener FROM partener WHERE denumire = v_partener AND cod_fiscal IS NULL;
      END IF;
    END IF;
  END IF;

  INSERT INTO doc (tip_doc, data_doc, nr_doc, partener, id_partener, emitent, moneda, data_scadenta,
                   valoare_fara_tva, valoare_tva, valoare_totala, id_fact, api_end_point)
  VALUES ('FactCI', v_data, v_nr, v_partener, v_id_partener, pemitent, upper(v_moneda), v_scadenta,
          v_net, v_tva, v_total, pidfact, v_canal)
  RETURNING id_doc INTO v_id_doc;

  INSERT INTO doc_linie (id_doc, nr_linie, cod_articol, denumire, um, cantitate, pret_unitar, cota_tva,
                         valoare_fara_tva, valoare_tva)
  SELECT v_id_doc, x.pos, x.l ->> 'itemCode', x.l ->> 'itemName', x.l ->> 'unit',
         (x.l ->> 'quantity')::numeric, (x.l ->> 'unitPrice')::numeric, (x.l ->> 'vatRate')::numeric,
         (x.l ->> 'netAmount')::numeric, (x.l ->> 'vatAmount')::numeric
    FROM json_array_elements(v_lines) WITH ORDINALITY AS x(l, pos);

  RETURN v_id_doc;
END
$$;
